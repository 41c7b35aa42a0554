#include "isa.h"

#include <cstdio>
#include <cstring>
#include <ostream>

#include "diag.h"
#include "source.h"

namespace {

std::vector<InstructionDef> g_table;

constexpr size_t kPieceChars = 1023;

bool is_separator(char c) {
  return c == '\t' || c == '\n' || c == ' ';
}

std::vector<std::string> cut_tokens(const std::string& line) {
  std::vector<std::string> tokens;
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && is_separator(line[i])) ++i;
    size_t start = i;
    while (i < n && !is_separator(line[i])) ++i;
    if (i > start) tokens.emplace_back(line, start, i - start);
  }
  return tokens;
}

// Reads a decimal number as the standard conversion does (sign, digits, 0 when there are
// none), kept within bounds so that no text can overflow it. `end` is where reading stopped.
int64_t read_decimal(const char* text, const char** end) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!(*p >= '0' && *p <= '9')) {
    if (end) *end = text;
    return 0;
  }
  int64_t value = 0;
  while (*p >= '0' && *p <= '9') {
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

enum LineResult { kLineOk = 0, kNoSeparator = 1, kUnknownLetter = 2, kTooManyBits = 3 };

LineResult parse_definition(const std::vector<std::string>& tokens, InstructionDef& def) {
  size_t sep = 1;
  while (sep < tokens.size() && tokens[sep][0] != ':') ++sep;
  if (sep == tokens.size()) return kNoSeparator;

  def.name = tokens[0];
  for (size_t i = 1; i < sep; ++i) {
    const std::string& spec = tokens[i];
    OperandSpec operand;
    if (spec[0] == '"') {
      // Text between the quotes; a lone quote has none.
      if (spec.size() >= 2) operand.literal = spec.substr(1, spec.size() - 2);
    } else {
      operand.isNumeric = 1;
      operand.width = low_byte(read_decimal(spec.c_str() + 1, nullptr));
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
    const std::string& token = tokens[t];
    if (token[0] == '0' || token[0] == '1') {
      for (char c : token) {
        if (!add_bit(-1, c == '1' ? 1 : 0)) return kTooManyBits;
      }
      continue;
    }
    int operand = -1;
    for (size_t i = 1; i < sep; ++i) {
      if (tokens[i][0] == token[0]) {
        operand = static_cast<int>(i - 1);
        break;
      }
    }
    if (operand < 0) return kUnknownLetter;
    const char* after = nullptr;
    int64_t high = read_decimal(token.c_str() + 1, &after);
    if (*after == '-' && after != token.c_str() + 1) {
      int64_t low = read_decimal(after + 1, nullptr);
      if (high - low + 1 > kMaxInstructionBits) return kTooManyBits;
      for (int64_t b = high; b >= low; --b) {
        if (!add_bit(static_cast<int16_t>(operand), low_byte(b))) return kTooManyBits;
      }
    } else {
      if (!add_bit(static_cast<int16_t>(operand), low_byte(high))) return kTooManyBits;
    }
  }
  return kLineOk;
}

}  // namespace

int load_instruction_defs(const std::string& path) {
  std::unique_ptr<TextFile> file = open_text_file(path);
  if (!file) return 1;
  g_table.clear();
  std::string line;
  for (;;) {
    LineRead got = read_text_line(*file, kPieceChars, line);
    if (got == LineRead::kError) {
      console() << "error reading [" << path << "]\n";
      fatal_stop(1);
    }
    if (got == LineRead::kEnd) break;
    std::vector<std::string> tokens = cut_tokens(line);
    if (tokens.empty()) continue;
    InstructionDef def;
    LineResult result = parse_definition(tokens, def);
    if (result != kLineOk) {
      return result == kUnknownLetter ? 2 : 1;
    }
    g_table.push_back(std::move(def));
  }
  return 0;
}

const std::vector<InstructionDef>& instruction_table() {
  return g_table;
}

void isa_reset() {
  g_table.clear();
}
