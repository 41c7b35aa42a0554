// Hints for habits from other assemblers and for typos, read from the line a report is about.
#include "lint/hints.h"

#include <algorithm>

#include "diag.h"

namespace {

bool has_word(std::string_view text, std::string_view word) {
  return find_name(fold_case(text), word) != std::string_view::npos;
}

// Whether two names differ by one letter changed, added or left out.
bool one_edit_apart(std::string_view a, std::string_view b) {
  if (a.size() > b.size()) std::swap(a, b);
  if (b.size() - a.size() > 1) return false;
  size_t i = 0;
  while (i < a.size() && a[i] == b[i]) ++i;
  if (a.size() == b.size()) return a.substr(i + (i < a.size())) == b.substr(i + (i < b.size()));
  return a.substr(i) == b.substr(i + 1);
}

// The instruction set's names a mistyped mnemonic may have meant: one letter apart, or, for a
// name another assembler uses, those that start as it does.
std::string names_meant(std::string_view mnemonic, const InstructionSet& set) {
  std::string wanted = fold_case(mnemonic), list;
  std::vector<std::string> names;
  for (const auto& [name, indices] : set.byName) {
    bool close = one_edit_apart(wanted, name) ||
                 (wanted.size() >= 4 && name.size() >= 3 && wanted.starts_with(name.substr(0, 3)));
    if (close) names.push_back(set.defs[static_cast<size_t>(indices[0])].name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) list += (list.empty() ? "'" : ", '") + name + "'";
  return list;
}

// An operand's quoted text that is no number of the language: not B'..', D'..' or H'..'.
bool quoted_character(std::string_view text) {
  for (size_t at = text.find_first_of("'\""); at != std::string_view::npos;
       at = text.find_first_of("'\"", at + 1)) {
    bool radix = text[at] == '\'' && at > 0 &&
                 std::string_view("bBdDhH").find(text[at - 1]) != std::string_view::npos &&
                 (at == 1 || !is_name_char(text[at - 2]));
    if (radix) {
      size_t close = text.find('\'', at + 1);
      if (close == std::string_view::npos) return false;
      at = close;
      continue;
    }
    bool octal = text[at] == '\'' && at > 0 && fold_case(text[at - 1]) == 'o';
    if (!octal) return true;
  }
  return false;
}

}  // namespace

std::string habit_hint(int code, const SplitLine& s, const InstructionSet& set) {
  std::string mnemonic = fold_case(s.mnemonic);
  // An include line's reports explain themselves; a line that only looks like one is told.
  if (code == E_CANT_OPEN_INCLUDE) return "";
  if (code == E_BAD_INCLUDE_FILE) {
    if (s.operandCount > 0) {
      return "an include line is '#include \"FILE\"': a file name without blanks";
    }
    return "";
  }
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
    if (mnemonic == "__config") {
      return "the configuration words are constants here: write '__FUSE equ VALUE' and "
             "'__FUSEX equ VALUE'";
    }
    if (mnemonic == "movfw" && s.operandCount == 1) {
      return "movfw is another assembler's name: write 'movf " + std::string(s.operands[0]) + ",w'";
    }
    if (s.operandCount > 0 && has_word(s.operands[0].substr(0, 4), "equ")) {
      return "a constant's name starts in column 0: write " + std::string(s.mnemonic) +
             " in the first column";
    }
    if (definitions_named(set, s.mnemonic).empty()) {
      std::string meant = names_meant(s.mnemonic, set);
      if (!meant.empty()) return "the instruction set has " + meant;
    }
    return "";
  }
  for (int k = 0; k < s.operandCount; ++k) {
    std::string_view text = s.operands[k];
    if (code == E_INVALID_TOKEN && text.size() > 1 && text.back() == ':' &&
        is_name_start(text[0])) {
      return "a label is named without its colon: write " +
             std::string(text.substr(0, text.size() - 1));
    }
    size_t octal = text.find("'");
    if (octal != std::string_view::npos && octal > 0 && fold_case(text[octal - 1]) == 'o' &&
        (octal == 1 || !is_name_char(text[octal - 2]))) {
      return "there are no octal numbers: write the value in hexadecimal ($F for O'17') or "
             "decimal";
    }
    if (quoted_character(text)) {
      return "a quoted character is no number here: write its code, such as $41 for 'A'";
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
