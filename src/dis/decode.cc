// Decoding words with the instruction set: constant bits checked, operand bits gathered, and
// every candidate encoded again and read back through the splitter and the match rule.
#include "dis/decode.h"

#include "source.h"

namespace {

// The values a definition would need to give `word`, or false when no values can.
bool gather(const InstructionDef& def, uint32_t word, DecodedWord& out) {
  if (words_taken(def) != 1) return false;  // a definition of no bits takes no word of its own
  if ((word >> def.bitCount) != 0) return false;      // the bits above a short definition are 0
  if (def.operandCount > kMaxOperands) return false;  // no statement has that many operands
  uint32_t seen[kMaxOperandValues] = {};
  for (int b = 0; b < def.bitCount; ++b) {
    const BitSource& bit = def.bits[b];
    uint32_t value = (word >> (def.bitCount - 1 - b)) & 1u;
    bool numeric = bit.source >= 0 && bit.source < kMaxOperandValues &&
                   def.operands[static_cast<size_t>(bit.source)].isNumeric && bit.bit < 32;
    if (bit.source < 0) {
      if (value != (bit.bit & 1u)) return false;
    } else if (!numeric) {
      if (value != 0) return false;  // a literal's value, or a bit no value has, is 0
    } else {
      uint32_t mask = 1u << bit.bit;
      int32_t& v = out.values[bit.source];
      if ((seen[bit.source] & mask) && ((static_cast<uint32_t>(v) & mask) != 0) != (value != 0)) {
        return false;  // one bit of the value asked for twice, with both values
      }
      seen[bit.source] |= mask;
      if (value) v = static_cast<int32_t>(static_cast<uint32_t>(v) | mask);
    }
  }
  return encode_word(def, out.values) == word;
}

}  // namespace

std::vector<std::string> operand_texts(const InstructionDef& def, const DecodedWord& decoded,
                                       const std::string& jump_label) {
  std::vector<std::string> texts;
  static const char* const kDigits = "0123456789ABCDEF";
  for (int k = 0; k < def.operandCount; ++k) {
    const OperandSpec& op = def.operands[static_cast<size_t>(k)];
    if (!op.isNumeric) {
      texts.push_back(op.literal);
    } else if (k == 0 && !jump_label.empty()) {
      texts.push_back(jump_label);
    } else {
      std::string digits;
      uint32_t v = static_cast<uint32_t>(decoded.values[k]);
      do {
        digits.insert(digits.begin(), kDigits[v & 15]);
        v >>= 4;
      } while (v);
      texts.push_back("$" + digits);
    }
  }
  return texts;
}

bool reads_back(const InstructionSet& set, int32_t definition,
                const std::vector<std::string>& operands) {
  const InstructionDef& def = set.defs[static_cast<size_t>(definition)];
  std::string line = "\t" + def.name + "\t";
  for (size_t k = 0; k < operands.size(); ++k) line += (k ? "," : "") + operands[k];
  std::string name;
  if (parse_include_line(line, name) != INCLUDE_NONE) return false;
  split_line(line);
  const SplitLine& s = split_result();
  if (!s.label.empty() || s.mnemonic != def.name ||
      s.operandCount != static_cast<int>(operands.size()) || s.droppedColumn >= 0) {
    return false;
  }
  for (int k = 0; k < s.operandCount; ++k) {
    if (s.operands[k] != operands[static_cast<size_t>(k)]) return false;
  }
  std::vector<std::string_view> texts(s.operands, s.operands + s.operandCount);
  return match_instruction(set, def.name, texts) == definition;
}

bool decode_word(const InstructionSet& set, uint32_t word, DecodedWord& out) {
  for (size_t i = 0; i < set.defs.size(); ++i) {
    DecodedWord candidate;
    candidate.definition = static_cast<int32_t>(i);
    if (!gather(set.defs[i], word, candidate)) continue;
    if (!reads_back(set, candidate.definition, operand_texts(set.defs[i], candidate))) continue;
    out = candidate;
    return true;
  }
  return false;
}
