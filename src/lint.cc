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

using Severity = LintSeverity;
constexpr Severity SEV_NOTE = LINT_NOTE, SEV_WARNING = LINT_WARNING, SEV_ERROR = LINT_ERROR;
const char* const kSeverityNames[] = {"note", "warning", "error"};

// The checks, with what each looks for. Every one but `assembler` (what wendrix rejects, always
// an error) can be turned off.
const char* const kChecks[][2] = {
    {"assembler", "what wendrix rejects: always reported, never turned off"},
    {"page", "a goto or call to another page than the one selected before it"},
    {"call-second-half", "a call to the second half of a page, which a call cannot reach"},
    {"overlap", "code placed where earlier code already stands"},
    {"outside-memory", "code placed past the end of program memory"},
    {"no-address", "code before the first org, which has no address"},
    {"operand-range", "a value that does not fit the bits its definition takes"},
    {"literal-blank", "a blank after a comma that defeats a literal operand"},
    {"column0-mnemonic", "an instruction or directive name in column 0, read as a label"},
    {"label-colon", "a label that keeps its colon"},
    {"reserved-prefix", "a name starting with org, equ or ds, which no expression can use"},
    {"unused", "labels and constants that nothing uses (only with --unused)"},
    {"unnamable-label", "a label that no expression can name"},
    {"config-width", "a configuration value wider than 12 bits"},
    {"after-ds", "code after a ds block without an org of its own"},
    {"empty-start", "a program whose first address holds nothing"},
    {"bom", "a byte-order mark at the start of a file"},
    {"long-line", "a line over 1022 characters, whose rest is read as a new line"},
    {"operand-17", "a 17th operand field, which is dropped"},
    {"fuse-value", "__FUSE or __FUSEX defined without a value"},
    {"isa-load", "an inst.dat that fails to load"},
    {"isa-no-bits", "a definition of no bits"},
    {"isa-glued", "a separator glued to the bits"},
    {"isa-shadowed", "a definition that an earlier one always shadows"},
    {"isa-reversed-range", "a bit range written low-high, which gives no bits"},
    {"isa-bad-constant", "constant bits with characters other than 0 and 1"},
    {"isa-short", "a definition of fewer than 12 bits"},
    {"isa-same-word", "definitions of two names that can encode the same word"},
    {"isa-operand-width", "an operand wider than the bits its definition takes from it"},
};

struct Finding {
  const std::string* file;  // a key of Lint::files
  int line;                 // as the editor counts it; 0: the file as a whole
  int column;               // from 1; 0: none
  Severity severity;
  std::string message;
  const char* check;
};

// A file as the editor shows it, and where each line piece the assembler reads lies in it.
struct Piece {
  int line;               // editor line, from 1
  int offset;             // of the piece in that line
  std::string_view text;  // in FileText::lines
  int length = 0;
};
struct FileText {
  const std::string* name = nullptr;  // its key in Lint::files
  std::vector<std::string> lines;
  std::vector<Piece> pieces;  // by the assembler's line number - 1
};

struct Lint {
  std::vector<std::string> args;
  std::string source, inst;
  std::string inst_used;  // the instruction set loaded
  std::set<std::string> disabled;
  bool summary = false;
  bool werror = false;  // warnings set the exit status too
  bool unused = false;  // the unused check is on
  bool deps = false;    // print a make rule instead of findings
  std::vector<Finding> findings;
  std::map<std::string, FileText> files;
  std::vector<Report> reports;  // their file names live until the run's sources are reset
  std::set<int> symbols_in_errors;
  const LintObserver* observe = nullptr;
  bool fragment = false;  // an include file checked on its own
  std::ostringstream console;  // what the passes print: a stop's message
};
Lint* g_lint = nullptr;

void capture(const Report& report) {
  g_lint->reports.push_back(report);
}

const FileText& file_text(const std::string& name, size_t piece_chars) {
  auto [it, fresh] = g_lint->files.try_emplace(name);
  FileText& f = it->second;
  f.name = &it->first;
  if (!fresh) return f;
  std::unique_ptr<TextFile> file = open_text_file(name);
  std::string piece;
  bool line_open = false;
  while (file && read_text_line(*file, piece_chars, piece) == READ_LINE) {
    bool ends = !piece.empty() && piece.back() == '\n';
    if (ends) piece.pop_back();
    if (!line_open) f.lines.emplace_back();
    int offset = static_cast<int>(f.lines.back().size());
    f.pieces.push_back(Piece{static_cast<int>(f.lines.size()), offset, {}});
    f.lines.back() += piece;
    f.pieces.back().length = static_cast<int>(piece.size());
    line_open = !ends;
  }
  // The lines hold still now: each piece becomes a view of its part of its line.
  for (Piece& p : f.pieces) {
    p.text = std::string_view(f.lines[static_cast<size_t>(p.line) - 1])
                 .substr(static_cast<size_t>(p.offset), static_cast<size_t>(p.length));
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
  const FileText& text = g_lint->files[*f.file];
  if (static_cast<size_t>(f.line) > text.lines.size()) return false;
  const std::string& line = text.lines[static_cast<size_t>(f.line) - 1];
  const std::string marker = "wendrix-lint: ignore";
  size_t at = line.find(marker);
  if (at == std::string::npos) return false;
  std::string names = line.substr(at + marker.size());
  for (char& c : names) c = c == ',' ? ' ' : c;
  return (" " + names + " ").find(" " + std::string(f.check) + " ") != std::string::npos;
}

// A finding at an assembler position (file and line piece) and a column within the piece.
void add(const std::string& file, int piece_line, int column, Severity severity,
         const std::string& message, const char* check, size_t piece_chars = kSourcePieceChars) {
  // An error is never turned off, by option or by comment.
  bool may_hide = severity != SEV_ERROR;
  if (may_hide && g_lint->disabled.count(check)) return;
  Finding f{file_text(file, piece_chars).name, 0, 0, severity, message, check};
  if (const Piece* p = piece_at(file, piece_line, piece_chars)) {
    f.line = p->line;
    f.column = p->offset + std::max(column, 0) + 1;
  } else {
    // A file that cannot be read, or a report before its first line: its start.
    f.line = std::max(piece_line, 1);
    f.column = 1;
  }
  if (!may_hide || !ignored(f)) g_lint->findings.push_back(f);
}

// A stop of the loader or the passes (a file that cannot be read): the message wendrix prints
// ("error reading [NAME]") becomes an error at the file it names, so the run fails as wendrix's
// does.
void add_stop(int piece_line) {
  std::string printed = g_lint->console.str();
  g_lint->console.str("");
  while (!printed.empty() && printed.back() == '\n') printed.pop_back();
  if (printed.empty()) return;
  size_t open = printed.find('['), close = printed.rfind(']');
  std::string file = open < close && close != std::string::npos
                         ? printed.substr(open + 1, close - open - 1)
                         : "";
  add(file, piece_line, 0, SEV_ERROR, printed + ": wendrix stops here", "assembler");
}

// Loads a definition file as wendrix does; -1 when a read fails, which stops wendrix.
int load_definitions(const std::string& path) {
  try {
    return load_instruction_defs(path);
  } catch (const FatalStop&) {
    add_stop(0);
    return -1;
  }
}

// Whether anything at all stands at a path (a link that leads nowhere included); never throws.
bool anything_at(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found &&
         !error;
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
                 const char* check) {
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

// Definitions of one name, by folded name: shadowing is looked for among them only.
using ByName = std::map<std::string, std::vector<size_t>>;

void check_shadowed(const DefinitionLine& d, const std::vector<InstructionDef>& table,
                    const std::vector<size_t>& same_name, size_t index) {
  for (size_t e : same_name) {
    if (e >= index) return;
    if (!shadows(table[e], d.def)) continue;
    isa_warning(d, 0,
                "this form of " + in_quotes(d.def.name) + " is never chosen: the one on line " +
                    std::to_string(table[e].line) + " fits every statement it fits",
                "isa-shadowed");
    return;
  }
}

void check_short(const DefinitionLine& d) {
  if (d.def.bitCount == 0 || d.def.bitCount >= kMaxInstructionBits) return;
  isa_warning(d, 0,
              in_quotes(d.def.name) + " gives " + std::to_string(d.def.bitCount) +
                  " bits, not 12: the word's top bits are 0; write all 12",
              "isa-short");
}

void check_operand_widths(const DefinitionLine& d) {
  for (int k = 0; k < d.def.operandCount; ++k) {
    const OperandSpec& op = d.def.operands[static_cast<size_t>(k)];
    if (!op.isNumeric) continue;
    int top;
    uint32_t mask = field_mask(d.def, k, top);
    int taken = std::popcount(mask);
    if (taken == 0 || taken >= op.width) continue;
    isa_warning(d, 0,
                "operand " + std::to_string(k + 1) + " of " + in_quotes(d.def.name) + " is " +
                    std::to_string(op.width) + " bits wide, but the definition takes only " +
                    std::to_string(taken) + " of them: the rest of a value is cut without a word",
                "isa-operand-width");
  }
}

// The constant bits of a definition's word, as a mask and their values (operand bits are free).
std::pair<uint32_t, uint32_t> constant_bits(const InstructionDef& def) {
  uint32_t mask = 0, value = 0;
  for (int b = 0; b < def.bitCount; ++b) {
    uint32_t at = 1u << (def.bitCount - 1 - b);
    if (def.bits[b].source >= 0) continue;
    mask |= at;
    if (def.bits[b].bit) value |= at;
  }
  // The bits above a short definition are 0.
  uint32_t above = ((1u << kMaxInstructionBits) - 1) & ~((1u << def.bitCount) - 1);
  return {mask | above, value};
}

// Two names whose words can be alike: a word in the hex file could then be read as either.
// Definitions of one name may share words on purpose (a literal form beside the general one).
void check_same_words(const std::string& path, const std::vector<InstructionDef>& table) {
  std::vector<std::pair<uint32_t, uint32_t>> bits;
  for (const InstructionDef& def : table) bits.push_back(constant_bits(def));
  // Definitions are grouped by their constant top bits, so that a large set costs little.
  const int kTop = 4;
  std::map<uint32_t, std::vector<size_t>> by_top;
  std::vector<size_t> open;  // definitions with a free top bit: compared with all
  for (size_t i = 0; i < table.size(); ++i) {
    uint32_t top_mask = ((1u << kTop) - 1) << (kMaxInstructionBits - kTop);
    if ((bits[i].first & top_mask) == top_mask) {
      by_top[bits[i].second & top_mask].push_back(i);
    } else {
      open.push_back(i);
    }
  }
  std::set<size_t> reported;
  auto compare = [&](size_t a, size_t b) {
    if (a == b || same_ignoring_case(table[a].name, table[b].name)) return;
    size_t later = std::max(a, b), earlier = std::min(a, b);
    if (reported.count(later)) return;
    uint32_t both = bits[a].first & bits[b].first;
    if (((bits[a].second ^ bits[b].second) & both) != 0) return;
    reported.insert(later);
    const InstructionDef& def = table[later];
    add(path, def.line, 0, SEV_WARNING,
        in_quotes(def.name) + " can encode the same word as " + in_quotes(table[earlier].name) +
            " on line " + std::to_string(table[earlier].line) +
            ": a device reads only one of them from it",
        "isa-same-word", kDefinitionPieceChars);
  };
  // Definitions of one pattern are found in one pass; pairs are compared within groups of a
  // size that keeps the whole check near linear.
  std::map<std::pair<uint32_t, uint32_t>, size_t> first_of;
  for (size_t i = 0; i < table.size(); ++i) {
    auto [it, fresh] = first_of.try_emplace(bits[i], i);
    if (!fresh) compare(it->second, i);
  }
  for (const auto& [top, group] : by_top) {
    for (size_t x = 0; x < group.size() && group.size() <= 4096; ++x) {
      for (size_t y = x + 1; y < group.size(); ++y) compare(group[x], group[y]);
    }
  }
  for (size_t a : open) {
    for (size_t b = 0; b < table.size() && open.size() * table.size() <= 50'000'000; ++b) {
      compare(a, b);
    }
  }
}

void check_instruction_set(const std::string& path) {
  const std::vector<InstructionDef>& table = instruction_table();
  ByName by_name;
  for (size_t i = 0; i < table.size(); ++i) by_name[fold_case(table[i].name)].push_back(i);
  for (size_t i = 0; i < table.size(); ++i) {
    const Piece* p = piece_at(path, table[i].line, kDefinitionPieceChars);
    if (!p) continue;
    std::vector<DefinitionToken> tokens = definition_tokens(std::string(p->text));
    DefinitionLine d{path, table[i], tokens, separator_token(tokens)};
    check_glued_separator(d);
    check_no_bits(d);
    check_short(d);
    check_bit_tokens(d);
    check_operand_widths(d);
    check_shadowed(d, table, by_name[fold_case(table[i].name)], i);
  }
  check_same_words(path, table);
}

// Loads the instruction set as wendrix finds it, or the one named; "" when none loads.
std::string load_instructions() {
  if (!g_lint->inst.empty()) {
    int loaded = load_definitions(g_lint->inst);
    if (loaded == 0) return g_lint->inst;
    if (loaded < 0) return "";
    const LoadFailure& failure = last_load_failure();
    add(g_lint->inst, failure.line, 0, SEV_ERROR,
        "the instruction set fails to load: " + failure.reason, "isa-load", kDefinitionPieceChars);
    return "";
  }
  std::string used;
  try {
    used = load_instruction_set(g_lint->args[0]);
  } catch (const FatalStop&) {
    // A file that opened and then could not be read: wendrix stops on it.
    add_stop(0);
    return "";
  }
  if (used != "inst.dat" && anything_at("inst.dat")) {
    // wendrix passes over a local file that fails, without a word: say why, and what it uses.
    load_definitions("inst.dat");
    LoadFailure failure = last_load_failure();
    add("inst.dat", failure.line, 0, SEV_WARNING,
        "inst.dat fails to load: " + failure.reason + "; wendrix skips it without a message and " +
            (used.empty() ? "finds no other" : "uses " + used + " instead"),
        "isa-load", kDefinitionPieceChars);
    if (!used.empty()) load_definitions(used);
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
// The statements that reports are about, by file and line, and for each instruction the one
// whose word it replaces. Only those are indexed, in sorted vectors: a program of a million
// lines with a report on each keeps no tree of them.
using Position = std::pair<const std::string*, int>;
struct StatementIndex {
  std::vector<std::pair<Position, const StatementRecord*>> at;  // sorted by position
  std::vector<std::pair<const StatementRecord*, const StatementRecord*>> replaces;  // sorted
};

StatementIndex index_statements() {
  StatementIndex index;
  std::vector<Position> wanted;
  for (const Report& r : g_lint->reports) wanted.push_back({r.file, r.line});
  std::sort(wanted.begin(), wanted.end());
  std::vector<const StatementRecord*> holder(static_cast<size_t>(kCodeWords), nullptr);
  for (const StatementRecord& s : statement_list()) {
    bool reported =
        std::binary_search(wanted.begin(), wanted.end(), Position{statement_file(s), s.lineNumber});
    if (reported) index.at.push_back({{statement_file(s), s.lineNumber}, &s});
    if (s.kind < 0 || !s.addressKnown || s.address < 0 || s.address >= kCodeWords) continue;
    const StatementRecord*& earlier = holder[static_cast<size_t>(s.address)];
    if (earlier && reported) index.replaces.push_back({&s, earlier});
    earlier = &s;
  }
  // The first statement of a position wins, as in list order.
  std::stable_sort(index.at.begin(), index.at.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::sort(index.replaces.begin(), index.replaces.end());
  return index;
}

const StatementRecord* find_in(const StatementIndex& index, const std::string* file, int line) {
  auto it = std::lower_bound(index.at.begin(), index.at.end(), Position{file, line},
                             [](const auto& entry, const Position& p) { return entry.first < p; });
  return it != index.at.end() && it->first == Position{file, line} ? it->second : nullptr;
}

const StatementRecord* replaced_by(const StatementIndex& index, const StatementRecord* s) {
  auto it = std::lower_bound(index.replaces.begin(), index.replaces.end(),
                             std::pair<const StatementRecord*, const StatementRecord*>{s, nullptr});
  return it != index.replaces.end() && it->first == s ? it->second : nullptr;
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
    size_t at = find_name(s.operands[k], name);
    if (at != std::string_view::npos) return s.operandColumns[k] + static_cast<int>(at);
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

// ---- Habits from other assemblers ----

bool has_word(std::string_view text, std::string_view word) {
  return find_name(fold_case(text), word) != std::string_view::npos;
}

// What to write instead, where a generic report meets a habit of another assembler.
std::string habit_hint(int code, const std::string& line) {
  const SplitLine& s = split_copy(line);
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

// The column of a statement's mnemonic (operand -1) or of one of its operands, or -1.
int statement_column(const Piece* piece, int operand) {
  if (!piece) return -1;
  const SplitLine& s = split_copy(std::string(piece->text));
  if (operand >= 0) return operand < s.operandCount ? s.operandColumns[operand] : -1;
  size_t at = piece->text.find(s.mnemonic, s.label.size());
  return s.mnemonic.empty() || at == std::string::npos ? -1 : static_cast<int>(at);
}

// The check and the reason of a warning that wendrix prints; page warnings are left to
// check_pages, which knows the page selected before a jump.
const char* warning_check(int code) {
  switch (code) {
    case E_CALL_SECOND_HALF:
      return "call-second-half";
    case E_CODE_OVERLAP:
      return "overlap";
    case E_OUTSIDE_MEMORY:
      return "outside-memory";
    case E_UNDEFINED_ADDRESS:
      return "no-address";
    default:
      return nullptr;
  }
}

std::string warning_detail(const Report& r, const StatementRecord* s, const StatementIndex& index) {
  if (r.code == E_CALL_SECOND_HALF && s && s->operandCount > 0 &&
      statement_operands(*s)[0].tree != kNoTree) {
    int32_t target = expr_node(statement_operands(*s)[0].tree).value;
    return "a call reaches only the first half of each page; the target " + page_text(target) +
           " lies at offset " + hex(target % kPageWords) +
           ": call a goto in the first half that jumps on to it";
  }
  if (r.code == E_CODE_OVERLAP && s && replaced_by(index, s)) {
    const StatementRecord& earlier = *replaced_by(index, s);
    if (const Piece* at = piece_at(*statement_file(earlier), earlier.lineNumber)) {
      return "at " + hex(s->address) + ", replacing the word of " + *statement_file(earlier) + ":" +
             std::to_string(at->line);
    }
  }
  if (r.code == E_OUTSIDE_MEMORY && s) {
    return "at " + hex(static_cast<uint32_t>(s->address)) + "; program memory ends at 0x7ff";
  }
  if (r.code == E_UNDEFINED_ADDRESS) {
    return "the statement stands before the first org and has no address; its word is not "
           "stored";
  }
  return "";
}

void add_report(const Report& r, const std::string& file, const StatementIndex& index) {
  std::string message = error_message(r.code);
  const Piece* piece = piece_at(file, r.line);
  const StatementRecord* s = find_in(index, r.file, r.line);
  if (r.warning) {
    const char* check = warning_check(r.code);
    if (!check) return;
    int column = statement_column(piece, r.code == E_CALL_SECOND_HALF ? 0 : -1);
    std::string detail = warning_detail(r, s, index);
    add(file, r.line, column, SEV_WARNING, message + (detail.empty() ? "" : ": " + detail), check);
    return;
  }
  int column = r.column >= 0 ? r.column : statement_column(piece, -1);
  std::string detail;
  if (r.code == E_BAD_INSTRUCTION && piece) {
    detail = bad_instruction_reason(std::string(piece->text));
  } else if (r.code == E_CANT_OPEN_INCLUDE && piece) {
    std::string name;
    parse_include_line(std::string(piece->text), name);
    detail = in_quotes(name) + " (include names are relative to the working directory)";
  } else if (r.code == E_SYMBOL_UNDEFINED || r.code == E_SYMBOL_REDEFINED) {
    message += " [" + std::string(symbol_name(r.symbol)) + "]";
    if (r.symbol >= 0) g_lint->symbols_in_errors.insert(r.symbol);
    if (r.code == E_SYMBOL_UNDEFINED && r.symbol >= 0) {
      int use =
          piece ? use_column(std::string(piece->text), std::string(symbol_name(r.symbol))) : -1;
      if (use >= 0 && r.column < 0) column = use;
      detail = why_undefined(r.symbol);
      int colon = symbol_find(std::string(symbol_name(r.symbol)) + ":");
      if (colon >= 0 && symbol_at(colon).definedByLabel) {
        detail += "; the label " + in_quotes(symbol_name(colon)) + " keeps its colon";
      }
    }
  }
  std::string hint = habit_hint(r.code, piece ? std::string(piece->text) : "");
  if (!hint.empty()) detail += (detail.empty() ? "" : "; ") + hint;
  add(file, r.line, column, SEV_ERROR, message + (detail.empty() ? "" : ": " + detail),
      "assembler");
}

// ---- Page selection ----

// How the program selects code pages, as its comments declare it:
//   ; wendrix-lint: page-bit N set "STATEMENT" clear "STATEMENT"
//   ; wendrix-lint: start ADDRESS page N
// A statement is matched by its mnemonic and operands as written, ignoring letter case and
// blanks. Without a declaration the device starts at the last word with the page bits at 0,
// and nothing else selects a page.
constexpr int kPageBits = std::bit_width(static_cast<unsigned>(kCodeWords / kPageWords)) - 1;
//   ; wendrix-lint: registers LETTERS
// names the operand letters of inst.dat that stand for register numbers, which are never
// negative.
struct PageSelection {
  std::map<std::string, std::pair<int, int>> setters;  // statement -> (page bit, value)
  std::string register_letters;
  int32_t start = kCodeWords - 1;
  int start_page = 0;
  bool declared = false;
};

std::string statement_key(std::string_view mnemonic, std::string_view operands) {
  std::string key = fold_case(mnemonic) + " ";
  for (char c : operands) {
    if (!is_split_blank(c)) key += fold_case(c);
  }
  return key;
}

std::string statement_key(const StatementRecord& s) {
  std::string operands;
  std::string_view mnemonic = next_text(statement_texts(s));
  std::string_view text = mnemonic;
  for (int k = 0; k < s.operandCount; ++k) {
    if (k > 0) operands += ',';
    text = next_text(text);
    operands += text;
  }
  return statement_key(mnemonic, operands);
}

// The text between the next pair of double quotes after `at`, which moves past it.
std::string quoted(const std::string& text, size_t& at) {
  size_t open = text.find('"', at);
  size_t close = open == std::string::npos ? open : text.find('"', open + 1);
  if (close == std::string::npos) return at = text.size(), "";
  at = close + 1;
  return text.substr(open + 1, close - open - 1);
}

void read_page_declaration(const std::string& line, PageSelection& p) {
  const std::string marker = "wendrix-lint: ";
  size_t at = line.find(marker);
  if (at == std::string::npos) return;
  std::istringstream words(line.substr(at + marker.size()));
  std::string word;
  words >> word;
  if (word == "page-bit") {
    int bit = -1;
    words >> bit;
    if (bit < 0 || bit >= kPageBits) return;
    size_t from = line.find("page-bit", at);
    for (int value : {1, 0}) {
      std::string statement = quoted(line, from);
      size_t blank = statement.find_first_of(" \t");
      std::string mnemonic = statement.substr(0, blank);
      std::string operands = blank == std::string::npos ? "" : statement.substr(blank);
      if (!mnemonic.empty()) p.setters[statement_key(mnemonic, operands)] = {bit, value};
    }
    p.declared = true;
  } else if (word == "registers") {
    words >> p.register_letters;
  } else if (word == "start") {
    std::string address, page;
    words >> address >> page >> p.start_page;
    p.start = static_cast<int32_t>(std::strtol(address.c_str(), nullptr, 0));
  }
}

PageSelection page_selection() {
  PageSelection p;
  for (const auto& [name, text] : g_lint->files) {
    if (!text.pieces.empty() && name != g_lint->inst_used) {
      for (const std::string& line : text.lines) read_page_declaration(line, p);
    }
  }
  return p;
}

// The page selected when statement `at` runs, found by walking back through the straight-line
// code before it: up to a label or a jump (code reached from elsewhere), or to the start of
// the program. -1 when some page bit is not known; `where` names the selecting lines.
int selected_page(const StatementList& list, size_t at, const PageSelection& p,
                  std::vector<int>& where) {
  int bits = 0, known = 0;
  const int all = (1 << kPageBits) - 1;
  for (size_t i = at + 1; i-- > 0 && known != all;) {
    const StatementRecord& s = list[i];
    if (s.kind == KIND_EQU) continue;
    if (s.kind < 0 && s.kind != KIND_NONE) break;  // org or ds: another block
    if (i != at && s.kind >= 0 && instruction_table()[static_cast<size_t>(s.kind)].jump) break;
    if (s.kind >= 0 && i != at && !p.setters.empty()) {
      auto setter = p.setters.find(statement_key(s));
      if (setter != p.setters.end() && !(known >> setter->second.first & 1)) {
        known |= 1 << setter->second.first;
        bits |= setter->second.second << setter->second.first;
        where.push_back(s.lineNumber);
      }
    }
    if (s.addressKnown && s.address == p.start) {
      bits |= p.start_page & all & ~known;
      known = all;
      break;
    }
    if (s.labelSymbol >= 0) break;
  }
  return known == all ? bits : -1;
}

void check_pages(const PageSelection& p) {
  const StatementList& list = statement_list();
  for (size_t i = 0; i < list.size(); ++i) {
    const StatementRecord& s = list[i];
    if (s.kind < 0 || !s.addressKnown || s.address < 0 || s.address >= kCodeWords) continue;
    const InstructionDef& def = instruction_table()[static_cast<size_t>(s.kind)];
    if (!def.jump || s.operandCount == 0 || statement_operands(s)[0].tree == kNoTree) continue;
    int32_t target = expr_node(statement_operands(s)[0].tree).value;
    if (target < 0 || target >= kCodeWords) continue;  // operand-range says so
    int page = target / kPageWords;
    std::vector<int> where;
    int selected = selected_page(list, i, p, where);
    std::sort(where.begin(), where.end());
    std::string lines;
    for (int line : where) lines += (lines.empty() ? "" : ", ") + std::to_string(line);
    std::string name = in_quotes(fold_case(def.name));
    std::string message;
    if (selected >= 0 && selected != page) {
      message = "the page selected before this " + name + " is page " + std::to_string(selected) +
                (where.empty() ? " (at the start of the program)"
                               : (where.size() == 1 ? " (line " : " (lines ") + lines + ")") +
                ", but its target " + hex(target) + " is on page " + std::to_string(page) +
                ": select page " + std::to_string(page) + " before it";
    } else if (selected < 0 && page != s.address / kPageWords) {
      message = "target code page not same as source code page: the " + name + " at " +
                page_text(s.address) + " jumps to " + page_text(target) +
                ", and no page selection precedes it: select page " + std::to_string(page) +
                " before it";
      if (!p.declared) {
        message +=
            " (declare the statements that select a page with '; wendrix-lint: page-bit "
            "N set \"...\" clear \"...\"' and lint follows them)";
      }
    } else {
      continue;
    }
    add(*statement_file(s), s.lineNumber,
        statement_column(piece_at(*statement_file(s), s.lineNumber), 0), SEV_WARNING, message,
        "page");
  }
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

// Once a line, at its second piece, and only when that piece holds something: a line of
// exactly 1022 characters leaves an empty piece, which reads as an empty line.
void check_long_line(const std::string& file, int number, const Piece& piece,
                     const FileText& text) {
  if (piece.offset != static_cast<int>(kSourcePieceChars)) return;
  const std::string& line = text.lines[static_cast<size_t>(piece.line) - 1];
  if (line.size() == kSourcePieceChars) return;
  add(file, number, 0, SEV_WARNING,
      "line is " + std::to_string(line.size()) +
          " characters long: from character 1023 on it is read as a new line, starting in "
          "column 0",
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
  std::string_view bare = s.label.back() == ':' ? s.label.substr(0, s.label.size() - 1) : s.label;
  bool nameable = !bare.empty() && is_name_start(bare[0]) &&
                  std::all_of(bare.begin(), bare.end(), is_name_char);
  if (!nameable && !bare.starts_with('#')) {
    add(file, number, 0, SEV_WARNING,
        in_quotes(s.label) +
            " is a label that no expression can name (a name is a letter or _ "
            "followed by letters, digits and _); if it is a comment, start it "
            "with ;",
        "unnamable-label");
  } else if (starts_with_reserved_word(s.label) && reserved_word(s.label) < 0) {
    add(file, number, 0, SEV_WARNING,
        in_quotes(s.label) + " starts with a reserved word: no expression can name it; rename it",
        "reserved-prefix");
  }
}

// Every check that reads a line as the assembler splits it.
void check_line(const std::string& file, int number, const Piece& piece, const FileText& text) {
  check_long_line(file, number, piece, text);
  std::string name;
  std::string line(piece.text);
  if (parse_include_line(line, name) != INCLUDE_NONE) return;
  split_line(line);
  const SplitLine& s = split_result();
  check_dropped_field(file, number, s);
  check_label(file, number, s);
  check_literal_blanks(file, number, s);
}

void collect_uses(int32_t tree, std::vector<int>& uses) {
  if (tree == kNoTree) return;
  const ExprNode& node = expr_node(tree);
  if (node.kind == TOK_SYMBOL) ++uses[static_cast<size_t>(node.ref)];
  collect_uses(left_operand(tree), uses);
  collect_uses(right_operand(tree), uses);
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

// The letter of a definition's operand, as its line in the instruction set writes it.
char operand_letter(const InstructionDef& def, int operand) {
  const Piece* p = piece_at(g_lint->inst_used, def.line, kDefinitionPieceChars);
  if (!p) return 0;
  std::vector<DefinitionToken> tokens = definition_tokens(std::string(p->text));
  size_t at = static_cast<size_t>(operand) + 1;
  return at < separator_token(tokens) ? tokens[at].text[0] : 0;
}

void check_operand_ranges(const StatementRecord& s, const std::string& register_letters) {
  const InstructionDef& def = instruction_table()[static_cast<size_t>(s.kind)];
  bool jump = def.jump != JUMP_NONE;
  for (int k = 0; k < def.operandCount; ++k) {
    const StatementOperand& operand = statement_operands(s)[static_cast<size_t>(k)];
    if (!def.operands[static_cast<size_t>(k)].isNumeric || operand.tree == kNoTree ||
        !expr_node(operand.tree).known)
      continue;
    int32_t value = expr_node(operand.tree).value;
    uint32_t v = static_cast<uint32_t>(value);
    int top;
    uint32_t mask = field_mask(def, k, top);
    if (top < 0) continue;  // the definition takes nothing from it: no value is cut
    bool fits = jump && k == 0 ? value >= 0 && value < kCodeWords : fits_field(value, mask, top);
    if (fits && value < 0 && !register_letters.empty() &&
        register_letters.find(operand_letter(def, k)) != std::string::npos) {
      add(*statement_file(s), s.lineNumber,
          statement_column(piece_at(*statement_file(s), s.lineNumber), k), SEV_WARNING,
          "register number " + std::to_string(value) + " is negative: it is cut to " +
              hex(v & mask) + ", which is likely not the register meant",
          "operand-range");
      continue;
    }
    if (fits) continue;
    const Piece* p = piece_at(*statement_file(s), s.lineNumber);
    int column = statement_column(p, k);
    add(*statement_file(s), s.lineNumber, column, SEV_WARNING,
        jump && k == 0 ? "target " + hex(v) + " lies outside program memory (0x000 to 0x7ff)"
                       : "value " + std::to_string(value) + " (" + hex(v) + ") does not fit the " +
                             std::to_string(std::popcount(mask)) + " bits that " +
                             in_quotes(def.name) + " takes from operand " + std::to_string(k + 1) +
                             ": it is cut to " + hex(v & mask),
        "operand-range");
  }
}

// __FUSE and __FUSEX: a value, and one that fits the 12 bits of a configuration word.
void check_configuration(bool resolved) {
  for (const char* name : {"__FUSE", "__FUSEX"}) {
    int index = symbol_find(name);
    if (index < 0 || !symbol_at(index).definedByLabel || !resolved) continue;
    const SymbolEntry& entry = symbol_at(index);
    const StatementRecord& s = statement_list()[static_cast<size_t>(entry.statement)];
    if (!entry.valueKnown) {
      add(*statement_file(s), s.lineNumber, 0, SEV_WARNING,
          in_quotes(name) + " never gets a value: the configuration word is written as 0",
          "fuse-value");
    } else if (static_cast<uint32_t>(entry.value) > 0xFFF) {
      add(*statement_file(s), s.lineNumber, 0, SEV_WARNING,
          "the configuration value " + hex(static_cast<uint32_t>(entry.value)) +
              " is wider than 12 bits: the word is written as " + hex(entry.value & 0xFFF),
          "config-width");
    }
  }
}

// Whether control can fall into statement `at` from the one before it: that one is an
// instruction other than a goto.
bool reached_by_falling(const StatementList& list, size_t at) {
  for (size_t i = at; i-- > 0;) {
    const StatementRecord& s = list[i];
    if (s.kind == KIND_EQU || s.kind == KIND_NONE) continue;
    return s.kind >= 0 && instruction_table()[static_cast<size_t>(s.kind)].jump != JUMP_GOTO;
  }
  return false;
}

// Labels and constants of the main source that nothing names (only with --unused): not the
// configuration words, not a name an error is already about, not a label that code falls into.
void check_unused(const std::vector<int>& uses) {
  const StatementList& list = statement_list();
  for (int i = 0; i < symbol_count(); ++i) {
    const SymbolEntry& entry = symbol_at(i);
    if (!entry.definedByLabel || entry.statement < 0 || uses[static_cast<size_t>(i)] > 0) continue;
    std::string name(symbol_name(i));
    if (name == "__FUSE" || name == "__FUSEX" || g_lint->symbols_in_errors.count(i)) continue;
    if (names_instruction(name)) continue;  // column0-mnemonic says more
    const StatementRecord& s = list[static_cast<size_t>(entry.statement)];
    if (statement_file(s) != source_file_name(0)) continue;  // a definition file's names
    if (s.kind != KIND_EQU && reached_by_falling(list, static_cast<size_t>(entry.statement))) {
      continue;
    }
    add(*statement_file(s), s.lineNumber, 0, SEV_NOTE,
        (s.kind == KIND_EQU ? "constant " : "label ") + in_quotes(name) + " is never used",
        "unused");
  }
}

// Code after a ds block lands on the addresses that follow the ones it reserves, where data was
// meant to be: the first instruction after ds statements with no org between.
void check_after_ds() {
  bool after_ds = false;
  for (const StatementRecord& s : statement_list()) {
    if (s.kind == KIND_DS) after_ds = true;
    if (s.kind == KIND_ORG) after_ds = false;
    if (s.kind < 0 || !after_ds) continue;
    after_ds = false;
    add(*statement_file(s), s.lineNumber,
        statement_column(piece_at(*statement_file(s), s.lineNumber), -1), SEV_WARNING,
        "code follows a ds block without an org: it lands at " +
            (s.addressKnown ? hex(s.address) : std::string("an unknown address")) +
            ", on the addresses after the reserved ones; give the code an org of its own",
        "after-ds");
  }
}

// The device starts somewhere: a program that stores nothing at address 0 is missing its
// start, or has it at the wrong address.
void check_empty_start() {
  bool any = false;
  for (int a = 0; a < kCodeWords && !any; ++a) any = code_word(a) != kEmptyWord;
  if (!any || code_word(0) != kEmptyWord) return;
  const StatementList& list = statement_list();
  for (const StatementRecord& s : list) {
    if (s.kind != KIND_ORG) continue;
    add(*statement_file(s), s.lineNumber, 0, SEV_WARNING,
        "address 0 holds nothing: the program's first word is at " +
            hex(s.addressKnown ? s.address : 0) + "; put the start of the program at org 0",
        "empty-start");
    return;
  }
}

// A byte-order mark reads as part of the first line's label.
void check_bom(const std::string& file, const FileText& text) {
  if (text.lines.empty() || !text.lines[0].starts_with("\xEF\xBB\xBF")) return;
  add(file, 1, 0, SEV_WARNING,
      "the file starts with a byte-order mark, which wendrix reads as part of the first line: "
      "save it without one",
      "bom");
}

void check_program(bool resolved) {
  std::set<std::string> seen;
  for (size_t i = 0; source_file_name(i); ++i) {
    const std::string& file = *source_file_name(i);
    if (!seen.insert(file).second) continue;
    const FileText& text = file_text(file, kSourcePieceChars);
    check_bom(file, text);
    for (size_t n = 0; n < text.pieces.size(); ++n)
      check_line(file, static_cast<int>(n) + 1, text.pieces[n], text);
  }
  std::vector<int> uses(static_cast<size_t>(symbol_count()), 0);
  PageSelection declared = page_selection();
  for (const StatementRecord& s : statement_list()) {
    for (const StatementOperand& operand : statement_operands(s)) collect_uses(operand.tree, uses);
    if (resolved && s.kind >= 0) check_operand_ranges(s, declared.register_letters);
  }
  check_configuration(resolved);
  if (g_lint->unused) check_unused(uses);
  if (!resolved) return;
  check_pages(declared);
  check_after_ds();
  check_empty_start();
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
  out << *f.file << ':' << f.line << ':' << f.column << ": " << kSeverityNames[f.severity] << ": "
      << f.message << " [" << f.check << "]\n";
  const FileText& text = g_lint->files[*f.file];
  if (f.line < 1 || static_cast<size_t>(f.line) > text.lines.size()) return;
  const std::string& line = text.lines[static_cast<size_t>(f.line) - 1];
  // A long line is shown as an excerpt of at most 160 characters around the column.
  const size_t kWindow = 80;
  size_t column = static_cast<size_t>(std::max(f.column - 1, 0));
  size_t from = column > kWindow ? column - kWindow : 0;
  std::string excerpt = line.substr(from, 2 * kWindow);
  if (from > 0) excerpt = "..." + excerpt, column = column - from + 3;
  if (from + 2 * kWindow < line.size()) excerpt += "...";
  out << excerpt << '\n' << caret_line(excerpt, static_cast<int>(column)) << '\n';
}

const char* const kUsage =
    "usage: wendrix-lint [--inst FILE] [--disable NAME[,NAME...]] [--unused] [--werror]\n"
    "                    [--summary] [--deps] SOURCE\n"
    "       wendrix-lint -h | --help | --version\n";

bool disable(std::ostream& out, std::string value) {
  for (char& c : value) c = c == ',' ? ' ' : c;
  std::istringstream names(value);
  for (std::string name; names >> name;) {
    bool known = std::any_of(std::begin(kChecks), std::end(kChecks),
                             [&](const auto& check) { return name == check[0]; });
    if (!known || name == "assembler") {
      out << "wendrix-lint: " << (known ? "errors cannot be turned off: '" : "no check is named '")
          << name << "'\n"
          << kUsage;
      return false;
    }
    g_lint->disabled.insert(name);
  }
  return true;
}

// 0: go on; otherwise the exit status. A second source, as wendrix does, is ignored.
int parse_options(std::ostream& out) {
  Lint& l = *g_lint;
  bool options = true;  // until "--": every later argument is a source
  for (size_t i = 1; i < l.args.size(); ++i) {
    const std::string& a = l.args[i];
    if (!options || a == "--") {
      if (options) options = false;
      else if (l.source.empty()) l.source = a;
      continue;
    }
    if (a == "--help" || a == "-h") {
      out << kUsage
          << "\nChecks (turn a warning or note off on a line with `; wendrix-lint: "
             "ignore NAME`):\n";
      for (const auto& [name, what] : kChecks) out << "  " << name << ": " << what << '\n';
      return -1;
    }
    if (a == "--version") {
      out << kVersion << '\n';
      return -1;
    }
    if (a == "--summary") {
      l.summary = true;
    } else if (a == "--werror") {
      l.werror = true;
    } else if (a == "--unused") {
      l.unused = true;
    } else if (a == "--deps") {
      l.deps = true;
    } else if (a.starts_with("--disable=")) {
      if (!disable(out, a.substr(10))) return 2;
    } else if (a.starts_with("--inst=")) {
      l.inst = a.substr(7);
    } else if ((a == "--inst" || a == "--disable") && i + 1 < l.args.size()) {
      if (a == "--inst") l.inst = l.args[++i];
      if (a == "--disable" && !disable(out, l.args[++i])) return 2;
    } else if (a.starts_with("-") && a.size() > 1) {
      out << "wendrix-lint: bad argument '" << a << "'\n" << kUsage;
      return 2;
    } else if (l.source.empty()) {
      l.source = a;
    }
  }
  if (l.source.empty()) {
    out << kUsage;
    return 2;
  }
  return 0;
}

// The programs in the working directory that include `file`, directly or through other
// include files, as their include lines name it.
std::string program_including(const std::string& file) {
  std::vector<std::string> programs;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(".", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    std::error_code unreadable;  // a link that loops is no program
    if (it->is_regular_file(unreadable) && fold_case(name).ends_with(".asm")) {
      programs.push_back(name);
    }
  }
  std::sort(programs.begin(), programs.end());
  for (const std::string& program : programs) {
    std::vector<std::string> pending = {program};
    std::set<std::string> seen;
    while (!pending.empty()) {
      std::string name = pending.back();
      pending.pop_back();
      if (!seen.insert(name).second) continue;
      std::unique_ptr<TextFile> text = open_text_file(name);
      std::string line, included;
      while (text && read_text_line(*text, kSourcePieceChars, line) == READ_LINE) {
        if (parse_include_line(line, included) != INCLUDE_FILE) continue;
        if (included == file) return program;
        pending.push_back(included);
      }
    }
  }
  return "";
}

// Opens the program to check: the source as wendrix opens it; for an include file named on
// its own, the program that includes it, or else the file alone as a fragment.
bool open_program(std::ostream& out) {
  const std::string& source = g_lint->source;
  if (open_main_source(source)) return true;
  std::error_code error;
  if (!std::filesystem::is_regular_file(source, error)) {
    // What wendrix cannot open is the error wendrix reports, at the file it names.
    std::string name = base_name_of(source) + ".asm";
    add(name, 0, 0, SEV_ERROR, "error opening [" + name + "]: wendrix stops here", "assembler");
    return false;
  }
  std::string program = program_including(source);
  if (!program.empty()) {
    out << "wendrix-lint: " << source << " is included by " << program << ", checked whole\n";
    return open_main_source(program).has_value();
  }
  out << "wendrix-lint: no program here includes " << source << "; it is checked as a fragment\n";
  g_lint->fragment = true;
  return open_source(source) == 0;
}

// A make rule: the outputs depend on the source, every file it includes, and the instruction
// set.
void print_deps(std::ostream& out) {
  std::string base = base_name_of(g_lint->source);
  out << base << ".hex " << base << ".lst:";
  std::set<std::string> seen;
  for (size_t i = 0; source_file_name(i); ++i) {
    if (seen.insert(*source_file_name(i)).second) out << ' ' << *source_file_name(i);
  }
  out << ' ' << g_lint->inst_used << '\n';
}

// Reports a fragment cannot help: the configuration words, which its program defines.
bool fragment_may_skip(const Report& r) {
  return g_lint->fragment && (r.code == E_FUSE_UNDEFINED || r.code == E_FUSEX_UNDEFINED);
}

// Hands the findings to the caller's observer, if any.
void notify() {
  if (!*g_lint->observe) return;
  std::vector<LintFinding> found;
  for (const Finding& f : g_lint->findings) {
    found.push_back({*f.file, f.line, f.column, f.severity, f.message, f.check});
  }
  (*g_lint->observe)(found, g_lint->inst_used);
}

int lint(std::ostream& out) {
  int status = parse_options(out);
  if (status != 0) return status < 0 ? 0 : status;
  reset_run();
  g_lint->inst_used = load_instructions();
  if (g_lint->inst_used.empty()) {
    // wendrix stops with "can't read inst.dat": an error, as every failure wendrix reports.
    notify();
    for (const Finding& f : g_lint->findings) print(out, f);
    out << "wendrix-lint: no instruction set loads (tried "
        << (g_lint->inst.empty() ? "inst.dat, " + second_instruction_path(g_lint->args[0])
                                 : g_lint->inst)
        << ")\n";
    return 1;
  }
  if (!g_lint->deps) out << "wendrix-lint: instruction set " << g_lint->inst_used << '\n';
  check_instruction_set(g_lint->inst_used);
  if (!open_program(out)) {
    notify();  // the instruction set's findings, and why the source does not open
    for (const Finding& f : g_lint->findings) {
      if (f.severity == SEV_ERROR) print(out, f);
    }
    return 1;
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
    add_stop(current_line_number());
    close_sources();
  }
  set_report_handler(nullptr);
  if (g_lint->deps) {
    print_deps(out);
    return 0;
  }
  StatementIndex index = index_statements();
  for (const Report& r : g_lint->reports) {
    if (!fragment_may_skip(r)) add_report(r, r.file ? *r.file : "", index);
  }
  check_program(resolved);

  std::vector<Finding>& findings = g_lint->findings;
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    return *a.file != *b.file ? *a.file < *b.file : a.line < b.line;
  });
  int counts[3] = {};
  for (const Finding& f : findings) {
    print(out, f);
    ++counts[f.severity];
  }
  if (g_lint->summary && resolved) print_summary(out);
  notify();
  auto count = [&counts](Severity s) {
    return std::to_string(counts[s]) + " " + kSeverityNames[s] + (counts[s] == 1 ? "" : "s");
  };
  out << "wendrix-lint: " << count(SEV_ERROR) << ", " << count(SEV_WARNING) << ", "
      << count(SEV_NOTE) << '\n';
  return counts[SEV_ERROR] > 0 || (g_lint->werror && counts[SEV_WARNING] > 0) ? 1 : 0;
}

}  // namespace

int run_lint(const std::vector<std::string>& args, std::ostream& out, const LintObserver& observe) {
  Lint state;
  state.args = args;
  state.observe = &observe;
  g_lint = &state;
  set_console(&state.console);
  int status = lint(out);
  set_console(nullptr);
  source_reset();
  set_report_handler(nullptr);
  g_lint = nullptr;
  return status;
}
