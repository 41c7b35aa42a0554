// Hints for habits from other assemblers, read from the line a report is about.
#include "lint/hints.h"

#include "diag.h"

namespace {

bool has_word(std::string_view text, std::string_view word) {
  return find_name(fold_case(text), word) != std::string_view::npos;
}

}  // namespace

std::string habit_hint(int code, const SplitLine& s) {
  std::string mnemonic = fold_case(s.mnemonic);
  if (code == E_BAD_INSTRUCTION) {
    if (fold_case(s.label) == "#define") {
      return "#define is no directive here: write '" + std::string(s.mnemonic) + " equ VALUE'";
    }
    if (mnemonic == "end") return "a program needs no end directive: remove the line";
    if (mnemonic == "cblock" || mnemonic == "endc") {
      return "there is no cblock: name each register with equ (or reserve addresses with org "
             "and ds)";
    }
    if (mnemonic == "include") return "an include line is written '#include \"FILE\"'";
    if (s.operandCount > 0 && has_word(s.operands[0].substr(0, 4), "equ")) {
      return "a constant's name starts in column 0: write " + std::string(s.mnemonic) +
             " in the first column";
    }
    return "";
  }
  for (int k = 0; k < s.operandCount; ++k) {
    std::string_view text = s.operands[k];
    if (text.find('\'') != std::string_view::npos || text.find('"') != std::string_view::npos) {
      if (text.find("B'") == std::string_view::npos && text.find("b'") == std::string_view::npos &&
          text.find("H'") == std::string_view::npos && text.find("h'") == std::string_view::npos &&
          text.find("D'") == std::string_view::npos && text.find("d'") == std::string_view::npos) {
        return "a quoted character is no number here: write its code, such as $41 for 'A'";
      }
    }
    for (size_t at = text.find('$'); at != std::string_view::npos; at = text.find('$', at + 1)) {
      if (at + 1 == text.size() || !is_hex_digit(text[at + 1])) {
        return "'$' alone is no location here: put a label on the line and name it";
      }
    }
    for (size_t at = text.find('0'); at != std::string_view::npos; at = text.find('0', at + 1)) {
      bool starts = at == 0 || !is_name_char(text[at - 1]);
      if (!starts || at + 1 >= text.size()) continue;
      if (fold_case(text[at + 1]) == 'b') return "a binary number is written B'101'";
      if (text[at + 1] == 'X') return "a hexadecimal number is written 0x1F (small x) or $1F";
    }
    if (has_word(text, "high") || has_word(text, "low")) {
      return "there is no HIGH or LOW: write (x >> 8) & $FF and x & $FF";
    }
  }
  return "";
}
