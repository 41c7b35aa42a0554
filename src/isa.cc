// The instruction set: loading inst.dat into definitions, and encoding a statement with one.
#include "isa.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "diag.h"
#include "source.h"

namespace {

InstructionSet g_set;
LoadFailure g_failure;

// Reads a decimal number as the standard conversion does (sign, digits, 0 when there are
// none), kept within bounds so that no text can overflow it: a number of more than 12 digits
// reads as some value beyond the 32-bit range, which is all its callers need to know. `end` is
// where reading stopped.
int64_t read_decimal(const char* text, const char** end) {
  const char* p = text;
  while (is_scan_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!is_digit(*p)) {
    if (end) *end = text;
    return 0;
  }
  int64_t value = 0;
  while (is_digit(*p)) {
    if (value < (int64_t{1} << 40)) value = value * 10 + (*p - '0');
    ++p;
  }
  if (end) *end = p;
  return negative ? -value : value;
}

// Widths and bit numbers are kept in 8 bits.
uint8_t low_byte(int64_t value) {
  return static_cast<uint8_t>(static_cast<uint64_t>(value) & 0xFF);
}

// A bit number must be a 32-bit signed value before its low byte is kept.
bool fits_int32(int64_t value) {
  return value >= INT32_MIN && value <= INT32_MAX;
}

enum LineResult {
  DEF_OK,
  DEF_NO_SEPARATOR,
  DEF_UNKNOWN_LETTER,
  DEF_TOO_MANY_BITS,
  DEF_BAD_BIT_NUMBER,
};

// On a failure, `bad` is the token at fault.
LineResult parse_definition(const std::vector<DefinitionToken>& tokens, InstructionDef& def,
                            std::string& bad) {
  size_t sep = separator_token(tokens);
  if (sep == tokens.size()) return DEF_NO_SEPARATOR;

  def.name = tokens[0].text;
  if (same_ignoring_case(def.name, "goto")) def.jump = JUMP_GOTO;
  if (same_ignoring_case(def.name, "call")) def.jump = JUMP_CALL;
  for (size_t i = 1; i < sep; ++i) {
    const std::string& form = tokens[i].text;
    OperandSpec operand;
    operand.text = form;
    if (form[0] == '"') {
      // Text between the quotes; a lone quote has none.
      if (form.size() >= 2) operand.literal = form.substr(1, form.size() - 2);
    } else {
      operand.isNumeric = 1;
      operand.letter = form[0];
      operand.width = low_byte(read_decimal(form.c_str() + 1, nullptr));
    }
    def.operands.push_back(std::move(operand));
  }
  def.operandCount = static_cast<int>(def.operands.size());

  auto add_bit = [&def](int16_t source, uint8_t bit) {
    if (def.bitCount == kMaxInstructionBits) return false;
    def.bits[def.bitCount++] = BitSource{source, bit};
    return true;
  };
  for (size_t t = sep + 1; t < tokens.size(); ++t) {
    const std::string& token = tokens[t].text;
    if (token[0] == '0' || token[0] == '1') {
      for (char c : token) {
        if (!add_bit(-1, c == '1' ? 1 : 0)) return DEF_TOO_MANY_BITS;
      }
      continue;
    }
    int operand = -1;
    for (size_t i = 1; i < sep; ++i) {
      if (tokens[i].text[0] == token[0]) {
        operand = static_cast<int>(i - 1);
        break;
      }
    }
    bad = token;
    if (operand < 0) return DEF_UNKNOWN_LETTER;
    const char* after = nullptr;
    int64_t high = read_decimal(token.c_str() + 1, &after);
    if (!fits_int32(high)) return DEF_BAD_BIT_NUMBER;
    if (*after == '-' && after != token.c_str() + 1) {
      int64_t low = read_decimal(after + 1, nullptr);
      if (!fits_int32(low)) return DEF_BAD_BIT_NUMBER;
      if (high - low + 1 > kMaxInstructionBits) return DEF_TOO_MANY_BITS;
      for (int64_t b = high; b >= low; --b) {
        if (!add_bit(static_cast<int16_t>(operand), low_byte(b))) return DEF_TOO_MANY_BITS;
      }
    } else {
      if (!add_bit(static_cast<int16_t>(operand), low_byte(high))) return DEF_TOO_MANY_BITS;
    }
  }
  return DEF_OK;
}

std::string failure_reason(LineResult result, const std::string& bad) {
  switch (result) {
    case DEF_NO_SEPARATOR:
      return "no separator (a token that starts with ':')";
    case DEF_UNKNOWN_LETTER:
      return "bit token '" + bad + "' names no operand of its line";
    case DEF_TOO_MANY_BITS:
      return "more than 12 bits";
    default:
      return "bit number in '" + bad + "' is beyond the 32-bit range";
  }
}

}  // namespace

size_t separator_token(const std::vector<DefinitionToken>& tokens) {
  size_t sep = 1;
  while (sep < tokens.size() && tokens[sep].text[0] != ':') ++sep;
  return std::min(sep, tokens.size());
}

std::vector<DefinitionToken> definition_tokens(const std::string& line) {
  std::vector<DefinitionToken> tokens;
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && is_definition_separator(line[i])) ++i;
    size_t start = i;
    while (i < n && !is_definition_separator(line[i])) ++i;
    if (i > start)
      tokens.push_back(DefinitionToken{line.substr(start, i - start), static_cast<int>(start)});
  }
  return tokens;
}

int load_instruction_defs(const std::string& path) {
  g_failure = LoadFailure{0, {}, "cannot be opened (missing, or not a regular file)"};
  std::unique_ptr<TextFile> file = open_text_file(path);
  if (!file) return 1;
  g_set.defs.clear();
  g_set.byName.clear();
  SourceMap map;
  std::string line;
  int line_number = 0;
  for (;;) {
    LineRead got = read_text_line(*file, kDefinitionPieceChars, line);
    if (got == READ_ERROR) {
      console() << "error reading [" << path << "]\n";
      fatal_stop(1);
    }
    if (got == READ_END) break;
    ++line_number;
    map.note(*file);
    std::vector<DefinitionToken> tokens = definition_tokens(line);
    if (tokens.empty()) continue;
    InstructionDef def;
    std::string bad;
    LineResult result = parse_definition(tokens, def, bad);
    if (result != DEF_OK) {
      g_failure =
          LoadFailure{line_number, editor_place(map, line_number, 0), failure_reason(result, bad)};
      return result == DEF_UNKNOWN_LETTER ? 2 : 1;
    }
    def.line = line_number;
    def.place = editor_place(map, line_number, 0);
    def.separator = separator_token(tokens);
    def.tokens = std::move(tokens);
    g_set.byName[fold_case(def.name)].push_back(static_cast<int32_t>(g_set.defs.size()));
    g_set.defs.push_back(std::move(def));
  }
  g_failure = LoadFailure{};
  return 0;
}

const LoadFailure& last_load_failure() {
  return g_failure;
}

const InstructionSet& instruction_set() {
  return g_set;
}

const std::vector<InstructionDef>& instruction_table() {
  return g_set.defs;
}

std::span<const int32_t> definitions_named(const InstructionSet& set, std::string_view name) {
  auto named = set.byName.find(fold_case(name));
  if (named == set.byName.end()) return {};
  return named->second;
}

int32_t match_instruction(const InstructionSet& set, std::string_view mnemonic,
                          std::span<const std::string_view> operands,
                          std::vector<MatchFailure>* misses) {
  int32_t chosen = -1;
  for (int32_t index : definitions_named(set, mnemonic)) {
    const InstructionDef& def = set.defs[static_cast<size_t>(index)];
    MatchFailure miss{index, MISS_OPERAND_COUNT};
    bool fits = def.operandCount == static_cast<int>(operands.size());
    for (int k = 0; k < def.operandCount && fits; ++k) {
      const OperandSpec& op = def.operands[static_cast<size_t>(k)];
      fits = op.isNumeric || same_ignoring_case(op.literal, operands[static_cast<size_t>(k)]);
      if (!fits) miss = {index, MISS_LITERAL, k};
    }
    if (fits && chosen < 0) {
      chosen = index;
      if (!misses) return chosen;  // the assembler asks no further
    } else if (misses) {
      // A tool asks past the match too, for why each other form was not chosen.
      misses->push_back(fits ? MatchFailure{index, MISS_LATER} : miss);
    }
  }
  return chosen;
}

uint32_t field_mask(const InstructionDef& def, int operand, int& top) {
  uint32_t mask = 0;
  top = -1;
  for (int b = 0; b < def.bitCount; ++b) {
    if (def.bits[b].source != operand || def.bits[b].bit >= 32) continue;
    mask |= 1u << def.bits[b].bit;
    top = std::max(top, static_cast<int>(def.bits[b].bit));
  }
  return mask;
}

bool fits_field(int32_t value, uint32_t mask, int top) {
  uint32_t v = static_cast<uint32_t>(value);
  if ((v & ~mask) == 0) return true;
  if (value >= 0 || top < 0 || top > 31) return false;
  // Sign-extended: the field's top bit, its sign, is set, and every bit above it.
  uint32_t sign_and_above = ~((1u << top) - 1);
  return (~v & sign_and_above) == 0 && (v & ~mask & ~sign_and_above) == 0;
}

uint32_t encode_word(const InstructionDef& def, const int32_t* values) {
  uint32_t word = 0;
  for (int b = 0; b < def.bitCount; ++b) {
    const BitSource& bit = def.bits[b];
    word <<= 1;
    if (bit.source < 0) {
      word |= bit.bit & 1u;
    } else if (bit.source < kMaxOperandValues && bit.bit < 32) {
      // A 32-bit value has no bit 32 or above.
      word |= (static_cast<uint32_t>(values[bit.source]) >> bit.bit) & 1u;
    }
  }
  return word;
}

std::string bit_layout(const InstructionDef& def) {
  std::string bits;
  for (int b = 0; b < def.bitCount; ++b) {
    const BitSource& bit = def.bits[b];
    if (!bits.empty()) bits += ' ';
    if (bit.source < 0) {
      bits += bit.bit ? '1' : '0';
    } else if (static_cast<size_t>(bit.source) < def.operands.size()) {
      bits +=
          def.operands[static_cast<size_t>(bit.source)].text.substr(0, 1) + std::to_string(bit.bit);
    }
  }
  return bits;
}
