// wendrix-lint: the assembler's passes run on a program, their reports and its own checks.
#include "lint.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "diag.h"
#include "driver.h"
#include "expr.h"
#include "isa.h"
#include "output.h"
#include "pass1.h"
#include "pass2.h"
#include "source.h"
#include "symbols.h"

namespace {

const char* const kVersion = "wendrix-lint 0.10";

enum Severity { SEV_NOTE, SEV_WARNING, SEV_ERROR };
const char* const kSeverityNames[] = {"note", "warning", "error"};

// The checks that can be turned off, with what each looks for.
const char* const kChecks[][2] = {
    {"assembler", "what wendrix itself reports (errors and warnings)"},
    {"operand-range", "a value that does not fit the bits its definition takes"},
    {"literal-blank", "a blank after a comma that defeats a literal operand"},
    {"column0-mnemonic", "an instruction or directive name in column 0, read as a label"},
    {"label-colon", "a label that keeps its colon"},
    {"reserved-prefix", "a name starting with org, equ or ds, which no expression can use"},
    {"unused", "labels and constants that nothing uses"},
    {"long-line", "a line over 1022 characters, whose rest is read as a new line"},
    {"operand-17", "a 17th operand field, which is dropped"},
    {"fuse-value", "__FUSE or __FUSEX defined without a value"},
    {"isa-load", "an inst.dat that fails to load"},
    {"isa-no-bits", "a definition of no bits"},
    {"isa-glued", "a separator glued to the bits"},
    {"isa-shadowed", "a definition that an earlier one always shadows"},
    {"isa-reversed-range", "a bit range written low-high, which gives no bits"},
    {"isa-bad-constant", "constant bits with characters other than 0 and 1"},
};

struct Finding {
  std::string file;
  int line;    // as the editor counts it; 0: the file as a whole
  int column;  // from 1; 0: none
  Severity severity;
  std::string message, check;
};

// A file as the editor shows it, and where each line piece the assembler reads lies in it.
struct Piece {
  int line;    // editor line, from 1
  int offset;  // of the piece in that line
  std::string text;
};
struct FileText {
  std::vector<std::string> lines;
  std::vector<Piece> pieces;  // by the assembler's line number - 1
};

struct Lint {
  std::vector<std::string> args;
  std::string source, inst;
  std::set<std::string> disabled;
  bool summary = false;
  std::vector<Finding> findings;
  std::map<std::string, FileText> files;
  std::vector<Report> reports;
  std::vector<std::string> report_files;  // each report's file name, kept past the run
};
Lint* g_lint = nullptr;

void capture(const Report& report) {
  g_lint->reports.push_back(report);
  g_lint->report_files.push_back(report.file ? *report.file : "");
}

const FileText& file_text(const std::string& name, size_t piece_chars) {
  auto [it, fresh] = g_lint->files.try_emplace(name);
  FileText& f = it->second;
  if (!fresh) return f;
  std::unique_ptr<TextFile> file = open_text_file(name);
  std::string piece;
  bool line_open = false;
  while (file && read_text_line(*file, piece_chars, piece) == READ_LINE) {
    bool ends = !piece.empty() && piece.back() == '\n';
    if (ends) piece.pop_back();
    if (!line_open) f.lines.emplace_back();
    int offset = static_cast<int>(f.lines.back().size());
    f.pieces.push_back(Piece{static_cast<int>(f.lines.size()), offset, piece});
    f.lines.back() += piece;
    line_open = !ends;
  }
  return f;
}

const Piece* piece_at(const std::string& file, int line, size_t piece_chars = kSourcePieceChars) {
  const FileText& f = file_text(file, piece_chars);
  if (line < 1 || static_cast<size_t>(line) > f.pieces.size()) return nullptr;
  return &f.pieces[static_cast<size_t>(line) - 1];
}

// Names that `; wendrix-lint: ignore NAME` turns off on an editor line.
bool ignored(const Finding& f) {
  if (f.line < 1) return false;
  const FileText& text = g_lint->files[f.file];
  if (static_cast<size_t>(f.line) > text.lines.size()) return false;
  const std::string& line = text.lines[static_cast<size_t>(f.line) - 1];
  const std::string marker = "wendrix-lint: ignore";
  size_t at = line.find(marker);
  if (at == std::string::npos) return false;
  std::string names = line.substr(at + marker.size());
  for (char& c : names) c = c == ',' ? ' ' : c;
  return (" " + names + " ").find(" " + f.check + " ") != std::string::npos;
}

// A finding at an assembler position (file and line piece) and a column within the piece.
void add(const std::string& file, int piece_line, int column, Severity severity,
         const std::string& message, const std::string& check,
         size_t piece_chars = kSourcePieceChars) {
  if (g_lint->disabled.count(check)) return;
  Finding f{file, 0, 0, severity, message, check};
  if (const Piece* p = piece_at(file, piece_line, piece_chars)) {
    f.line = p->line;
    f.column = p->offset + std::max(column, 0) + 1;
  }
  if (!ignored(f)) g_lint->findings.push_back(f);
}

std::string hex(int64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string in_quotes(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// ---- The instruction set ----

// Whether `later` can never be chosen because `earlier` fits every statement it fits.
bool shadows(const InstructionDef& earlier, const InstructionDef& later) {
  if (!same_ignoring_case(earlier.name, later.name)) return false;
  if (earlier.operandCount != later.operandCount) return false;
  for (int k = 0; k < earlier.operandCount; ++k) {
    const OperandSpec& a = earlier.operands[static_cast<size_t>(k)];
    const OperandSpec& b = later.operands[static_cast<size_t>(k)];
    if (!a.isNumeric && (b.isNumeric || !same_ignoring_case(a.literal, b.literal))) return false;
  }
  return true;
}

// Each check on a definition gets its tokens, as the loader reads them, and its separator's.
struct DefinitionLine {
  const std::string& path;
  const InstructionDef& def;
  const std::vector<DefinitionToken>& tokens;
  size_t sep;
};

void isa_warning(const DefinitionLine& d, int column, const std::string& message,
                 const std::string& check) {
  add(d.path, d.def.line, column, SEV_WARNING, message, check, kDefinitionPieceChars);
}

void check_glued_separator(const DefinitionLine& d) {
  if (d.sep == d.tokens.size() || d.tokens[d.sep].text.size() == 1) return;
  isa_warning(d, d.tokens[d.sep].column,
              "the separator is glued to " + in_quotes(d.tokens[d.sep].text.substr(1)) +
                  ", which is read as part of it, not as bits",
              "isa-glued");
}

void check_no_bits(const DefinitionLine& d) {
  if (d.def.bitCount != 0) return;
  isa_warning(d, 0,
              in_quotes(d.def.name) +
                  " has no bits: it takes no word, yet its word 000 is stored where it stands, "
                  "under the next instruction",
              "isa-no-bits");
}

void check_bit_tokens(const DefinitionLine& d) {
  for (size_t t = d.sep + 1; t < d.tokens.size(); ++t) {
    const std::string& text = d.tokens[t].text;
    if (text[0] == '0' || text[0] == '1') {
      if (text.find_first_not_of("01") == std::string::npos) continue;
      isa_warning(d, d.tokens[t].column,
                  "constant bits " + in_quotes(text) +
                      " hold characters other than 0 and 1 (each reads as 0)",
                  "isa-bad-constant");
      continue;
    }
    size_t dash = text.find('-', 1);
    if (dash != std::string::npos && dash > 1 && is_digit(text[dash - 1]) &&
        dash + 1 < text.size() && is_digit(text[dash + 1]) &&
        std::atoll(text.c_str() + 1) < std::atoll(text.c_str() + dash + 1)) {
      isa_warning(d, d.tokens[t].column,
                  "bit range " + in_quotes(text) +
                      " is written low-high and gives no bits; write it high-low",
                  "isa-reversed-range");
    }
  }
}

void check_shadowed(const DefinitionLine& d, const std::vector<InstructionDef>& table,
                    size_t index) {
  for (size_t e = 0; e < index; ++e) {
    if (!shadows(table[e], d.def)) continue;
    isa_warning(d, 0,
                "this form of " + in_quotes(d.def.name) + " is never chosen: the one on line " +
                    std::to_string(table[e].line) + " fits every statement it fits",
                "isa-shadowed");
    return;
  }
}

void check_instruction_set(const std::string& path) {
  const std::vector<InstructionDef>& table = instruction_table();
  for (size_t i = 0; i < table.size(); ++i) {
    const Piece* p = piece_at(path, table[i].line, kDefinitionPieceChars);
    if (!p) continue;
    std::vector<DefinitionToken> tokens = definition_tokens(p->text);
    DefinitionLine d{path, table[i], tokens, separator_token(tokens)};
    check_glued_separator(d);
    check_no_bits(d);
    check_bit_tokens(d);
    check_shadowed(d, table, i);
  }
}

// Loads the instruction set as wendrix finds it, or the one named; "" when none loads.
std::string load_instructions() {
  if (!g_lint->inst.empty()) {
    if (load_instruction_defs(g_lint->inst) == 0) return g_lint->inst;
    const LoadFailure& failure = last_load_failure();
    add(g_lint->inst, failure.line, 0, SEV_ERROR,
        "the instruction set fails to load: " + failure.reason, "isa-load", kDefinitionPieceChars);
    return "";
  }
  std::string used = load_instruction_set(g_lint->args[0]);
  if (used != "inst.dat" && std::filesystem::exists("inst.dat")) {
    // wendrix passes over a local file that fails, without a word: say why, and what it uses.
    load_instruction_defs("inst.dat");
    LoadFailure failure = last_load_failure();
    add("inst.dat", failure.line, 0, SEV_WARNING,
        "inst.dat fails to load: " + failure.reason + "; wendrix skips it without a message and " +
            (used.empty() ? "finds no other" : "uses " + used + " instead"),
        "isa-load", kDefinitionPieceChars);
    if (!used.empty()) load_instruction_defs(used);
  }
  return used;
}

// ---- The assembler's own reports, with their reasons ----

// A piece as the assembler splits it.
const SplitLine& split_copy(std::string line) {
  split_line(line);
  return split_result();
}

// The statements by file and line, and for each instruction the one whose word it replaces,
// found once for all the reports.
struct StatementIndex {
  std::map<std::pair<std::string, int>, const StatementRecord*> at;
  std::map<const StatementRecord*, const StatementRecord*> replaces;
};

StatementIndex index_statements() {
  StatementIndex index;
  std::map<int32_t, const StatementRecord*> holder;  // by address, in list order
  for (const StatementRecord& s : statement_list()) {
    if (s.fileName) index.at.try_emplace({*s.fileName, s.lineNumber}, &s);
    if (s.kind < 0 || !s.addressKnown) continue;
    const StatementRecord*& earlier = holder[s.address];
    if (earlier) index.replaces[&s] = earlier;
    earlier = &s;
  }
  return index;
}

const StatementRecord* find_in(const StatementIndex& index, const std::string& file, int line) {
  auto it = index.at.find({file, line});
  return it == index.at.end() ? nullptr : it->second;
}

std::string bad_instruction_reason(const std::string& piece) {
  const SplitLine& s = split_copy(piece);
  std::vector<const InstructionDef*> named;
  for (const InstructionDef& def : instruction_table()) {
    if (same_ignoring_case(def.name, s.mnemonic)) named.push_back(&def);
  }
  if (named.empty()) return "no instruction is named " + in_quotes(s.mnemonic);
  std::set<int> counts;
  for (const InstructionDef* def : named) counts.insert(def->operandCount);
  if (!counts.count(s.operandCount)) {
    std::string list;
    for (int n : counts) list += (list.empty() ? "" : " or ") + std::to_string(n);
    return in_quotes(s.mnemonic) + " takes " + list + " operand" + (list == "1" ? "" : "s") +
           ", not " + std::to_string(s.operandCount);
  }
  for (const InstructionDef* def : named) {
    if (def->operandCount != s.operandCount) continue;
    for (int k = 0; k < def->operandCount; ++k) {
      const OperandSpec& op = def->operands[static_cast<size_t>(k)];
      if (op.isNumeric || same_ignoring_case(op.literal, s.operands[k])) continue;
      return "operand " + std::to_string(k + 1) + " must be the literal " + in_quotes(op.literal) +
             " (line " + std::to_string(def->line) + " of the instruction set); the text is " +
             in_quotes(s.operands[k]);
    }
  }
  return "";
}

// The column of a symbol's first use among a statement's operands, or -1.
int use_column(const std::string& piece, const std::string& name) {
  const SplitLine& s = split_copy(piece);
  for (int k = 0; k < s.operandCount; ++k) {
    std::string_view text = s.operands[k];
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
      bool starts = at == 0 || !is_name_char(text[at - 1]);
      bool ends = at + name.size() == text.size() || !is_name_char(text[at + name.size()]);
      if (starts && ends) return s.operandColumns[k] + static_cast<int>(at);
    }
  }
  return -1;
}

// Why a symbol never got a value: never defined, a label without an address, or a cycle.
std::string why_undefined(int symbol) {
  std::vector<int> chain = {symbol};
  for (;;) {
    const SymbolEntry& entry = symbol_at(chain.back());
    std::string_view name = symbol_name(chain.back());
    if (!entry.definedByLabel) {
      return chain.size() == 1 ? "it is never defined"
                               : "it waits on " + in_quotes(name) + ", which is never defined";
    }
    if (entry.equTree == kNoTree) {
      return in_quotes(name) + " is a label that never gets an address (no org before it?)";
    }
    evaluate_expression(entry.equTree);
    if (current_error != E_SYMBOL_UNDEFINED || error_symbol < 0) return "";
    size_t seen =
        static_cast<size_t>(std::find(chain.begin(), chain.end(), error_symbol) - chain.begin());
    chain.push_back(error_symbol);
    if (seen + 1 < chain.size()) {
      std::string cycle;
      for (size_t i = seen; i < chain.size(); ++i) {
        cycle += (cycle.empty() ? "" : " -> ") + std::string(symbol_name(chain[i]));
      }
      return "the symbols are defined by each other: " + cycle;
    }
  }
}

std::string page_text(int32_t address) {
  return hex(address) + " (page " + std::to_string(address / kPageWords) + ")";
}

// The column of a statement's mnemonic (operand -1) or of one of its operands, or -1.
int statement_column(const Piece* piece, int operand) {
  if (!piece) return -1;
  const SplitLine& s = split_copy(piece->text);
  if (operand >= 0) return operand < s.operandCount ? s.operandColumns[operand] : -1;
  size_t at = piece->text.find(s.mnemonic, s.label.size());
  return s.mnemonic.empty() || at == std::string::npos ? -1 : static_cast<int>(at);
}

void add_report(const Report& r, const std::string& file, const StatementIndex& index) {
  std::string message = error_message(r.code);
  const Piece* piece = piece_at(file, r.line);
  const StatementRecord* s = find_in(index, file, r.line);
  bool page = r.code == E_PAGE_MISMATCH || r.code == E_CALL_SECOND_HALF;
  int column = r.column >= 0 ? r.column : statement_column(piece, page ? 0 : -1);
  std::string detail;
  if (r.code == E_BAD_INSTRUCTION && piece) {
    detail = bad_instruction_reason(piece->text);
  } else if (r.code == E_CANT_OPEN_INCLUDE && piece) {
    std::string name;
    parse_include_line(piece->text, name);
    detail = in_quotes(name) + " (include names are relative to the working directory)";
  } else if (r.code == E_SYMBOL_UNDEFINED || r.code == E_SYMBOL_REDEFINED) {
    message += " [" + std::string(symbol_name(r.symbol)) + "]";
    if (r.code == E_SYMBOL_UNDEFINED && r.symbol >= 0) {
      int use = piece ? use_column(piece->text, std::string(symbol_name(r.symbol))) : -1;
      if (use >= 0 && r.column < 0) column = use;
      detail = why_undefined(r.symbol);
    }
  } else if (page && s && !s->operands.empty() && s->operands[0].tree != kNoTree) {
    detail = "at " + page_text(s->address) + ", target " +
             page_text(expr_node(s->operands[0].tree).value);
  } else if (r.code == E_CODE_OVERLAP && s && index.replaces.count(s)) {
    const StatementRecord& earlier = *index.replaces.at(s);
    if (const Piece* at = piece_at(*earlier.fileName, earlier.lineNumber)) {
      detail = "at " + hex(s->address) + ", replacing the word of " + *earlier.fileName + ":" +
               std::to_string(at->line);
    }
  } else if (r.code == E_OUTSIDE_MEMORY && s) {
    detail = "at " + hex(static_cast<uint32_t>(s->address)) + "; program memory ends at 0x7ff";
  } else if (r.code == E_UNDEFINED_ADDRESS) {
    detail = "the statement has no address: it stands before the first org";
  }
  if (r.warning) message = "WARNING - " + message;
  add(file, r.line, column, SEV_ERROR, message + (detail.empty() ? "" : ": " + detail),
      "assembler");
}

// ---- Checks on the source ----

bool names_instruction(std::string_view name) {
  for (const InstructionDef& def : instruction_table()) {
    if (same_ignoring_case(def.name, name)) return true;
  }
  return reserved_word(name) >= 0;
}

void check_literal_blanks(const std::string& file, int line, const SplitLine& s) {
  for (const InstructionDef& def : instruction_table()) {
    if (!same_ignoring_case(def.name, s.mnemonic) || def.operandCount != s.operandCount) continue;
    for (int k = 0; k < def.operandCount; ++k) {
      const OperandSpec& op = def.operands[static_cast<size_t>(k)];
      std::string_view text = s.operands[k];
      size_t first = text.find_first_not_of(" \t");
      if (op.isNumeric || first == 0 || first == std::string::npos) continue;
      if (same_ignoring_case(op.literal, text) ||
          !same_ignoring_case(op.literal, text.substr(first))) {
        continue;
      }
      add(file, line, s.operandColumns[k], SEV_WARNING,
          "the blank before " + in_quotes(text.substr(first)) +
              " keeps it from matching the literal " + in_quotes(op.literal) + " of " +
              in_quotes(def.name) + "; write it without the blank",
          "literal-blank");
      return;
    }
  }
}

void check_long_line(const std::string& file, int number, const Piece& piece) {
  if (piece.offset == 0) return;
  // Reported where the editor's line passes the piece length.
  add(file, number, static_cast<int>(kSourcePieceChars) - piece.offset, SEV_WARNING,
      "line is longer than 1022 characters: the rest is read as a new line, starting in column 0",
      "long-line");
}

void check_dropped_field(const std::string& file, int number, const SplitLine& s) {
  if (s.droppedColumn < 0) return;
  add(file, number, s.droppedColumn, SEV_WARNING,
      "a 17th operand field is dropped: a statement has 16 at most", "operand-17");
}

void check_label(const std::string& file, int number, const SplitLine& s) {
  if (s.label.empty()) return;
  if (names_instruction(s.label)) {
    add(file, number, 0, SEV_WARNING,
        in_quotes(s.label) + " in column 0 is a label, not an instruction; indent it",
        "column0-mnemonic");
  } else if (s.label.back() == ':') {
    std::string bare(s.label.substr(0, s.label.size() - 1));
    int index = symbol_find(bare);
    add(file, number, static_cast<int>(s.label.size()) - 1, SEV_WARNING,
        "the label keeps its colon: it defines " + in_quotes(s.label) + ", not " + in_quotes(bare) +
            (index >= 0 && !symbol_at(index).definedByLabel ? ", which the program uses" : ""),
        "label-colon");
  }
  if (starts_with_reserved_word(s.label) && reserved_word(s.label) < 0) {
    add(file, number, 0, SEV_WARNING,
        in_quotes(s.label) + " starts with a reserved word: no expression can name it; rename it",
        "reserved-prefix");
  }
}

// Every check that reads a line as the assembler splits it.
void check_line(const std::string& file, int number, const Piece& piece) {
  check_long_line(file, number, piece);
  std::string name;
  if (parse_include_line(piece.text, name) != INCLUDE_NONE) return;
  std::string line = piece.text;
  split_line(line);
  const SplitLine& s = split_result();
  check_dropped_field(file, number, s);
  check_label(file, number, s);
  check_literal_blanks(file, number, s);
}

void collect_uses(int32_t tree, std::vector<int>& uses) {
  if (tree == kNoTree) return;
  const ExprNode& node = expr_node(tree);
  if (node.kind == TOK_SYMBOL) ++uses[static_cast<size_t>(node.tokenValue)];
  collect_uses(left_operand(tree), uses);
  collect_uses(node.right, uses);
}

// The bits a definition takes from an operand, as a mask, and the highest of them.
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

// The fit rule: a value fits a field when the definition takes every bit of it that is set, or
// when it is negative and is the field's value sign-extended (every bit above the field's top
// set, and no bit the field leaves out below it): -1 fits an 8-bit field, 256 does not.
bool fits_field(int32_t value, uint32_t mask, int top) {
  uint32_t v = static_cast<uint32_t>(value);
  uint32_t above = top >= 31 ? 0 : ~((2u << top) - 1);
  if ((v & ~mask) == 0) return true;
  return value < 0 && (v & ~mask & ~above) == 0 && (~v & above) == 0;
}

void check_operand_ranges(const StatementRecord& s) {
  const InstructionDef& def = instruction_table()[static_cast<size_t>(s.kind)];
  bool jump = def.jump != JUMP_NONE;
  for (int k = 0; k < def.operandCount; ++k) {
    const StatementOperand& operand = s.operands[static_cast<size_t>(k)];
    if (!def.operands[static_cast<size_t>(k)].isNumeric || operand.tree == kNoTree ||
        !expr_node(operand.tree).known)
      continue;
    int32_t value = expr_node(operand.tree).value;
    uint32_t v = static_cast<uint32_t>(value);
    int top;
    uint32_t mask = field_mask(def, k, top);
    if (top < 0) continue;  // the definition takes nothing from it: no value is cut
    bool fits = jump && k == 0 ? value >= 0 && value < kCodeWords : fits_field(value, mask, top);
    if (fits) continue;
    const Piece* p = piece_at(*s.fileName, s.lineNumber);
    int column = statement_column(p, k);
    add(*s.fileName, s.lineNumber, column, SEV_WARNING,
        jump && k == 0 ? "target " + hex(v) + " lies outside program memory (0x000 to 0x7ff)"
                       : "value " + std::to_string(value) + " (" + hex(v) + ") does not fit the " +
                             std::to_string(std::popcount(mask)) + " bits that " +
                             in_quotes(def.name) + " takes from operand " + std::to_string(k + 1) +
                             ": it is cut to " + hex(v & mask),
        "operand-range");
  }
}

void check_program(bool resolved) {
  std::set<std::string> seen;
  for (size_t i = 0; source_file_name(i); ++i) {
    const std::string& file = *source_file_name(i);
    if (!seen.insert(file).second) continue;
    const FileText& text = file_text(file, kSourcePieceChars);
    for (size_t n = 0; n < text.pieces.size(); ++n)
      check_line(file, static_cast<int>(n) + 1, text.pieces[n]);
  }
  std::vector<int> uses(static_cast<size_t>(symbol_count()), 0);
  for (const StatementRecord& s : statement_list()) {
    for (const StatementOperand& operand : s.operands) collect_uses(operand.tree, uses);
    if (resolved && s.kind >= 0) check_operand_ranges(s);
  }
  for (int i = 0; i < symbol_count(); ++i) {
    const SymbolEntry& entry = symbol_at(i);
    if (!entry.definedByLabel || entry.statement < 0 || uses[static_cast<size_t>(i)] > 0) continue;
    std::string name(symbol_name(i));
    if (names_instruction(name)) continue;  // told apart as an instruction in column 0
    const StatementRecord& s = statement_list()[static_cast<size_t>(entry.statement)];
    if (name == "__FUSE" || name == "__FUSEX") {
      if (resolved && !entry.valueKnown) {
        add(*s.fileName, s.lineNumber, 0, SEV_WARNING,
            in_quotes(name) + " never gets a value: the configuration word is written as 0",
            "fuse-value");
      }
      continue;
    }
    add(*s.fileName, s.lineNumber, 0, SEV_NOTE,
        (s.kind == KIND_EQU ? "constant " : "label ") + in_quotes(name) + " is never used",
        "unused");
  }
}

void print_summary(std::ostream& out) {
  for (int page = 0; page < kCodeWords / kPageWords; ++page) {
    int used = 0;
    for (int a = page * kPageWords; a < (page + 1) * kPageWords; ++a) {
      used += code_word(a) != kEmptyWord;
    }
    out << "page " << page << ": " << used << " words used, " << kPageWords - used << " free\n";
  }
}

void print(std::ostream& out, const Finding& f) {
  out << f.file << ':' << f.line << ':' << f.column << ": " << kSeverityNames[f.severity] << ": "
      << f.message << " [" << f.check << "]\n";
  const FileText& text = g_lint->files[f.file];
  if (f.line < 1 || static_cast<size_t>(f.line) > text.lines.size()) return;
  const std::string& line = text.lines[static_cast<size_t>(f.line) - 1];
  out << line << '\n' << caret_line(line, f.column - 1) << '\n';
}

const char* const kUsage =
    "usage: wendrix-lint [--inst FILE] [--disable NAME[,NAME...]] [--summary] SOURCE\n"
    "       wendrix-lint --help | --version\n";

// 0: go on; otherwise the exit status.
int parse_options(std::ostream& out) {
  Lint& l = *g_lint;
  for (size_t i = 1; i < l.args.size(); ++i) {
    const std::string& a = l.args[i];
    if (a == "--help") {
      out << kUsage << "\nChecks (turn one off on a line with `; wendrix-lint: ignore NAME`):\n";
      for (const auto& [name, what] : kChecks) out << "  " << name << ": " << what << '\n';
      return -1;
    }
    if (a == "--version") {
      out << kVersion << '\n';
      return -1;
    }
    if (a == "--summary") {
      l.summary = true;
    } else if ((a == "--inst" || a == "--disable") && i + 1 < l.args.size()) {
      std::string value = l.args[++i];
      if (a == "--inst") l.inst = value;
      for (char& c : value) c = c == ',' ? ' ' : c;
      std::istringstream names(value);
      for (std::string name; a == "--disable" && names >> name;) {
        bool known = std::any_of(std::begin(kChecks), std::end(kChecks),
                                 [&](const auto& check) { return name == check[0]; });
        if (!known) {
          out << "wendrix-lint: no check is named '" << name << "'\n" << kUsage;
          return 2;
        }
        l.disabled.insert(name);
      }
    } else if (a.starts_with("-") || !l.source.empty()) {
      out << "wendrix-lint: bad argument '" << a << "'\n" << kUsage;
      return 2;
    } else {
      l.source = a;
    }
  }
  if (l.source.empty()) {
    out << kUsage;
    return 2;
  }
  return 0;
}

int lint(std::ostream& out) {
  int status = parse_options(out);
  if (status != 0) return status < 0 ? 0 : status;
  reset_run();
  std::string inst = load_instructions();
  if (inst.empty()) {
    for (const Finding& f : g_lint->findings) print(out, f);
    out << "wendrix-lint: no instruction set loads\n";
    return 2;
  }
  out << "wendrix-lint: instruction set " << inst << '\n';
  check_instruction_set(inst);
  if (!open_main_source(g_lint->source)) {
    out << "wendrix-lint: cannot open " << base_name_of(g_lint->source) << ".asm\n";
    return 2;
  }
  set_report_handler(capture);
  bool resolved = false;
  try {
    run_pass1();
    close_sources();
    if (!errors_seen) {
      resolve_symbols();
      resolved = true;
      encode_program();
    }
  } catch (const FatalStop&) {
    close_sources();
  }
  set_report_handler(nullptr);
  StatementIndex index = index_statements();
  for (size_t i = 0; i < g_lint->reports.size(); ++i) {
    add_report(g_lint->reports[i], g_lint->report_files[i], index);
  }
  check_program(resolved);

  int counts[3] = {};
  for (const Finding& f : g_lint->findings) {
    print(out, f);
    ++counts[f.severity];
  }
  if (g_lint->summary && resolved) print_summary(out);
  auto count = [&counts](Severity s) {
    return std::to_string(counts[s]) + " " + kSeverityNames[s] + (counts[s] == 1 ? "" : "s");
  };
  out << "wendrix-lint: " << count(SEV_ERROR) << ", " << count(SEV_WARNING) << ", "
      << count(SEV_NOTE) << '\n';
  return counts[SEV_ERROR] + counts[SEV_WARNING] > 0 ? 1 : 0;
}

}  // namespace

int run_lint(const std::vector<std::string>& args, std::ostream& out) {
  Lint state;
  state.args = args;
  g_lint = &state;
  int status = lint(out);
  source_reset();
  set_report_handler(nullptr);
  g_lint = nullptr;
  return status;
}
