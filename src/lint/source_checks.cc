// The checker's checks on the source lines and on the statements, symbols and code memory the
// passes made of them.
#include "lint/source_checks.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "expr.h"
#include "output.h"
#include "pass1.h"

namespace {

// A mask as the language writes it: $FF.
std::string dollar_hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "$%X", value);
  return buffer;
}

bool names_instruction(const ProgramModel& model, std::string_view name) {
  return !definitions_named(model.isa, name).empty() || reserved_word(name) >= 0;
}

void check_literal_blanks(const ProgramModel& model, Findings& findings, int32_t file, int piece,
                          const SplitLine& s) {
  for (int32_t index : definitions_named(model.isa, s.mnemonic)) {
    const InstructionDef& def = model.isa.defs[static_cast<size_t>(index)];
    if (def.operandCount != s.operandCount) continue;
    for (int k = 0; k < def.operandCount; ++k) {
      const OperandSpec& op = def.operands[static_cast<size_t>(k)];
      std::string_view text = s.operands[k];
      size_t first = text.find_first_not_of(" \t");
      if (op.isNumeric || first == 0 || first == std::string::npos) continue;
      if (same_ignoring_case(op.literal, text) ||
          !same_ignoring_case(op.literal, text.substr(first))) {
        continue;
      }
      add_at_piece(findings, file, piece, s.operandColumns[k], LINT_WARNING,
                   "the blank before " + in_quotes(text.substr(first)) +
                       " keeps it from matching the literal " + in_quotes(op.literal) + " of " +
                       in_quotes(def.name) + "; write it without the blank",
                   "literal-blank");
      return;
    }
  }
}

// Once a line, at its second piece, and only when that piece holds something: a line of
// exactly 1022 characters leaves an empty piece, which reads as an empty line.
void check_long_line(const ProgramModel& model, Findings& findings, int32_t file, int piece) {
  EditorPlace place = piece_place(model, file, piece);
  if (place.column != static_cast<int>(kSourcePieceChars)) return;
  size_t length = model.files[static_cast<size_t>(file)].text.line(place.line).size();
  if (length == kSourcePieceChars) return;
  add_at_piece(findings, file, piece, 0, LINT_WARNING,
               "line is " + std::to_string(length) +
                   " characters long: from character 1023 on it is read as a new line, starting "
                   "in column 0",
               "long-line");
}

void check_label(const ProgramModel& model, Findings& findings, int32_t file, int piece,
                 const SplitLine& s) {
  if (s.label.empty()) return;
  if (names_instruction(model, s.label)) {
    add_at_piece(findings, file, piece, 0, LINT_WARNING,
                 in_quotes(s.label) + " in column 0 is a label, not an instruction; indent it",
                 "column0-mnemonic");
  } else if (s.label.back() == ':') {
    std::string bare(s.label.substr(0, s.label.size() - 1));
    int index = model_symbol(model, bare);
    add_at_piece(findings, file, piece, static_cast<int>(s.label.size()) - 1, LINT_WARNING,
                 "the label keeps its colon: it defines " + in_quotes(s.label) + ", not " +
                     in_quotes(bare) +
                     (index >= 0 && !model.symbols[static_cast<size_t>(index)].defined
                          ? ", which the program uses"
                          : ""),
                 "label-colon");
  }
  std::string_view bare = s.label.back() == ':' ? s.label.substr(0, s.label.size() - 1) : s.label;
  bool nameable = !bare.empty() && is_name_start(bare[0]) &&
                  std::all_of(bare.begin(), bare.end(), is_name_char);
  if (!nameable && !bare.starts_with('#')) {
    add_at_piece(findings, file, piece, 0, LINT_WARNING,
                 in_quotes(s.label) +
                     " is a label that no expression can name (a name is a letter or _ "
                     "followed by letters, digits and _); if it is a comment, start it "
                     "with ;",
                 "unnamable-label");
  } else if (starts_with_reserved_word(s.label) && reserved_word(s.label) < 0) {
    add_at_piece(
        findings, file, piece, 0, LINT_WARNING,
        in_quotes(s.label) + " starts with a reserved word: no expression can name it; rename it",
        "reserved-prefix");
  }
}

// Every check that reads a line as the assembler splits it.
void check_piece(const ProgramModel& model, Findings& findings, int32_t file, int piece) {
  check_long_line(model, findings, file, piece);
  std::string name;
  std::string line(piece_text(model, file, piece));
  if (parse_include_line(line, name) != INCLUDE_NONE) return;
  split_line(line);
  const SplitLine& s = split_result();
  if (s.droppedColumn >= 0) {
    add_at_piece(findings, file, piece, s.droppedColumn, LINT_WARNING,
                 "a 17th operand field is dropped: a statement has 16 at most", "operand-17");
  }
  check_label(model, findings, file, piece, s);
  check_literal_blanks(model, findings, file, piece, s);
}

// A byte-order mark reads as part of the first line's label.
void check_bom(const ProgramModel& model, Findings& findings, int32_t file) {
  if (!model.files[static_cast<size_t>(file)].text.line(1).starts_with("\xEF\xBB\xBF")) return;
  add_at_piece(findings, file, 1, 0, LINT_WARNING,
               "the file starts with a byte-order mark, which wendrix reads as part of the first "
               "line: save it without one",
               "bom");
}

void check_operand_ranges(const ProgramModel& model, Findings& findings, const ModelStatement& s,
                          const PageSelection& declared) {
  const std::string& register_letters = declared.register_letters;
  const InstructionDef& def = model.isa.defs[static_cast<size_t>(s.kind)];
  bool jump = def.jump != JUMP_NONE;
  for (int k = 0; k < def.operandCount && k < s.operandCount; ++k) {
    const ModelOperand& operand = *statement_operand(model, s, k);
    if (!def.operands[static_cast<size_t>(k)].isNumeric || !operand.expression || !operand.known) {
      continue;
    }
    int32_t value = operand.value;
    uint32_t v = static_cast<uint32_t>(value);
    int top;
    uint32_t mask = field_mask(def, k, top);
    if (top < 0) continue;  // the definition takes nothing from it: no value is cut
    bool fits = jump && k == 0 ? value >= 0 && value < kCodeWords : fits_field(value, mask, top);
    int column = -1;
    auto operand_text = [&] {
      StatementTexts texts = statement_texts(model, s);
      return k < static_cast<int>(texts.operands.size()) ? texts.operands[k] : std::string();
    };
    auto operand_column = [&] {
      StatementTexts texts = statement_texts(model, s);
      return k < static_cast<int>(texts.operandColumns.size()) ? texts.operandColumns[k] : -1;
    };
    char letter = def.operands[static_cast<size_t>(k)].letter;
    if (fits && value < 0 && !register_letters.empty() &&
        register_letters.find(letter) != std::string::npos) {
      column = operand_column();
      add_at_piece(findings, s.file, s.piece, column, LINT_WARNING,
                   "register number " + std::to_string(value) + " is negative: it is cut to " +
                       hex(v & mask) + ", which is likely not the register meant",
                   "operand-range");
      continue;
    }
    bool register_operand =
        !register_letters.empty() && register_letters.find(letter) != std::string::npos;
    if (!fits && register_operand && value >= 0 && !declared.bank_setters.empty()) {
      // A register of another bank: in range where its bank is the one selected before it.
      int bank = static_cast<int>(v >> (top + 1));
      std::vector<int> where;
      int selected =
          selected_bank(model, static_cast<size_t>(&s - model.statements.data()), declared, where);
      if (selected == bank) continue;
      if (selected >= 0) {
        std::string lines;
        for (int line : where) lines += (lines.empty() ? "" : ", ") + std::to_string(line);
        add_at_piece(findings, s.file, s.piece, operand_column(), LINT_WARNING,
                     "register " + hex(v) + " is in bank " + std::to_string(bank) +
                         ", but the bank selected before it is bank " + std::to_string(selected) +
                         (where.empty() ? ""
                                        : " (line" + std::string(where.size() > 1 ? "s " : " ") +
                                              lines + ")") +
                         ": select bank " + std::to_string(bank) + " before it",
                     "operand-range");
        continue;
      }
    }
    if (fits) continue;
    column = operand_column();
    add_at_piece(findings, s.file, s.piece, column, LINT_WARNING,
                 jump && k == 0
                     ? "target " + hex(v) + " lies outside program memory (0x000 to 0x7ff)"
                     : "value " + std::to_string(value) + " (" + hex(v) + ") does not fit the " +
                           std::to_string(std::popcount(mask)) + " bits that " +
                           in_quotes(def.name) + " takes from operand " + std::to_string(k + 1) +
                           ": it is cut to " + hex(v & mask) + "; if the cut is meant, write (" +
                           operand_text() + ") & " + dollar_hex(mask),
                 "operand-range");
  }
}

// __FUSE and __FUSEX: a value, and one that fits the 12 bits of a configuration word.
void check_configuration(const ProgramModel& model, Findings& findings) {
  for (const char* name : {"__FUSE", "__FUSEX"}) {
    int index = model_symbol(model, name);
    if (index < 0) continue;
    const ModelSymbol& entry = model.symbols[static_cast<size_t>(index)];
    if (!entry.defined || entry.statement < 0) continue;
    const ModelStatement& s = model.statements[static_cast<size_t>(entry.statement)];
    if (!entry.known) {
      add_at_piece(findings, s.file, s.piece, 0, LINT_WARNING,
                   in_quotes(name) + " never gets a value: the configuration word is written as 0",
                   "fuse-value");
    } else if (static_cast<uint32_t>(entry.value) > 0xFFF) {
      add_at_piece(findings, s.file, s.piece, 0, LINT_WARNING,
                   "the configuration value " + hex(static_cast<uint32_t>(entry.value)) +
                       " is wider than 12 bits: the word is written as " + hex(entry.value & 0xFFF),
                   "config-width");
    }
  }
}

// Whether control can fall into statement `at` from the one before it: that one is an
// instruction other than a goto and the returns the program declares.
bool reached_by_falling(const ProgramModel& model, size_t at, const PageSelection& declared) {
  for (size_t i = at; i-- > 0;) {
    const ModelStatement& s = model.statements[i];
    if (s.kind == KIND_EQU || s.kind == KIND_NONE) continue;
    if (s.kind < 0) return false;
    const InstructionDef& def = model.isa.defs[static_cast<size_t>(s.kind)];
    return def.jump != JUMP_GOTO && !declared.no_fall_through.count(fold_case(def.name));
  }
  return false;
}

// Labels and constants of the main source that nothing names (only with --unused): not the
// configuration words, not a name an error is already about, not a label that code falls into.
void check_unused(const ProgramModel& model, Findings& findings,
                  const std::set<int>& symbols_in_errors, const PageSelection& declared) {
  for (size_t i = 0; i < model.symbols.size(); ++i) {
    const ModelSymbol& entry = model.symbols[i];
    if (!entry.defined || entry.statement < 0 || !entry.uses.empty()) continue;
    const std::string& name = entry.name;
    if (name == "__FUSE" || name == "__FUSEX" || symbols_in_errors.count(static_cast<int>(i))) {
      continue;
    }
    if (names_instruction(model, name)) continue;  // column0-mnemonic says more
    const ModelStatement& s = model.statements[static_cast<size_t>(entry.statement)];
    if (s.file != 0) continue;  // a definition file's names
    if (s.kind != KIND_EQU &&
        reached_by_falling(model, static_cast<size_t>(entry.statement), declared)) {
      continue;
    }
    add_at_piece(findings, s.file, s.piece, 0, LINT_NOTE,
                 (s.kind == KIND_EQU ? "constant " : "label ") + in_quotes(name) + " is never used",
                 "unused");
  }
}

// Code after a ds block lands on the addresses that follow the ones it reserves, where data was
// meant to be: the first instruction after ds statements with no org between.
void check_after_ds(const ProgramModel& model, Findings& findings) {
  bool after_ds = false;
  for (const ModelStatement& s : model.statements) {
    if (s.kind == KIND_DS) after_ds = true;
    if (s.kind == KIND_ORG) after_ds = false;
    if (s.kind < 0 || !after_ds) continue;
    after_ds = false;
    add_at_statement(findings, s, -1, LINT_WARNING,
                     "code follows a ds block without an org: it lands at " +
                         (s.addressKnown ? hex(s.address) : std::string("an unknown address")) +
                         ", on the addresses after the reserved ones; give the code an org of "
                         "its own",
                     "after-ds");
  }
}

// The device starts somewhere: a program that stores nothing at address 0 is missing its
// start, or has it at the wrong address.
void check_empty_start(const ProgramModel& model, const PageSelection& declared,
                       Findings& findings) {
  // A device declared to start elsewhere needs nothing at address 0.
  if (declared.start_declared && declared.start != 0) return;
  bool any = std::any_of(model.code.begin(), model.code.end(),
                         [](uint16_t word) { return word != kEmptyWord; });
  if (!any || model.code[0] != kEmptyWord) return;
  for (const ModelStatement& s : model.statements) {
    if (s.kind != KIND_ORG) continue;
    add_at_piece(findings, s.file, s.piece, 0, LINT_WARNING,
                 "address 0 holds nothing: the program's first word is at " +
                     hex(s.addressKnown ? s.address : 0) +
                     "; put the start of the program at org 0",
                 "empty-start");
    return;
  }
}

}  // namespace

void check_program(const ProgramModel& model, const PageSelection& declared,
                   const SourceCheckOptions& options, Findings& findings) {
  for (int32_t file = 0; file < model.sourceFiles; ++file) {
    const ModelFile& f = model.files[static_cast<size_t>(file)];
    if (!f.readable) continue;
    check_bom(model, findings, file);
    for (int piece = 1; piece <= f.map.pieces; ++piece) check_piece(model, findings, file, piece);
  }
  // Every operand whose value is known, also where pass 2 stopped short of the end.
  for (const ModelStatement& s : model.statements) {
    if (s.kind >= 0) check_operand_ranges(model, findings, s, declared);
  }
  if (model.resolved) check_configuration(model, findings);
  if (options.unused) check_unused(model, findings, *options.symbols_in_errors, declared);
  if (!model.resolved) return;
  check_pages(model, declared, findings);
  check_after_ds(model, findings);
  check_empty_start(model, declared, findings);
}
