// The assembler's reports turned into findings: the reason behind each, from the program model.
#include "lint/reports.h"

#include <algorithm>

#include "lint/hints.h"
#include "output.h"
#include "pass1.h"

namespace {

// Why no definition fits a statement, from the instruction set's match rule.
std::string bad_instruction_reason(const ProgramModel& model, const SplitLine& s) {
  std::vector<MatchFailure> misses;
  match_instruction(model.isa, s.mnemonic,
                    std::span(s.operands, static_cast<size_t>(s.operandCount)), &misses);
  if (misses.empty()) return "no instruction is named " + in_quotes(s.mnemonic);
  std::set<int> counts;
  for (const MatchFailure& miss : misses) {
    counts.insert(model.isa.defs[static_cast<size_t>(miss.definition)].operandCount);
  }
  if (!counts.count(s.operandCount)) {
    std::string list;
    for (int n : counts) list += (list.empty() ? "" : " or ") + std::to_string(n);
    return in_quotes(s.mnemonic) + " takes " + list + " operand" + (list == "1" ? "" : "s") +
           ", not " + std::to_string(s.operandCount);
  }
  for (const MatchFailure& miss : misses) {
    if (miss.why != MISS_LITERAL) continue;
    const InstructionDef& def = model.isa.defs[static_cast<size_t>(miss.definition)];
    const OperandSpec& op = def.operands[static_cast<size_t>(miss.operand)];
    return "operand " + std::to_string(miss.operand + 1) + " must be the literal " +
           in_quotes(op.literal) + " (line " + std::to_string(def.line) +
           " of the instruction set); the text is " + in_quotes(s.operands[miss.operand]);
  }
  return "";
}

// The column of a symbol's first use among a statement's operands, or -1.
int use_column(const SplitLine& s, std::string_view name) {
  for (int k = 0; k < s.operandCount; ++k) {
    size_t at = find_name(s.operands[k], name);
    if (at != std::string_view::npos) return s.operandColumns[k] + static_cast<int>(at);
  }
  return -1;
}

// Why a symbol never got a value: never defined, a label without an address, or a cycle.
std::string why_undefined(const ProgramModel& model, int symbol) {
  std::vector<int> chain = {symbol};
  for (;;) {
    const ModelSymbol& entry = model.symbols[static_cast<size_t>(chain.back())];
    if (!entry.defined) {
      return chain.size() == 1
                 ? "it is never defined"
                 : "it waits on " + in_quotes(entry.name) + ", which is never defined";
    }
    if (!entry.hasExpression) {
      return in_quotes(entry.name) + " is a label that never gets an address (no org before it?)";
    }
    if (entry.waitsOn < 0) return "";
    size_t seen =
        static_cast<size_t>(std::find(chain.begin(), chain.end(), entry.waitsOn) - chain.begin());
    chain.push_back(entry.waitsOn);
    if (seen + 1 < chain.size()) {
      std::string cycle;
      for (size_t i = seen; i < chain.size(); ++i) {
        cycle += (cycle.empty() ? "" : " -> ") + model.symbols[static_cast<size_t>(chain[i])].name;
      }
      return "the symbols are defined by each other: " + cycle;
    }
  }
}

// The check of a warning that wendrix prints; page warnings are left to the page check, which
// knows the page selected before a jump.
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

// For each reported statement, the earlier one whose word it replaces.
std::vector<int32_t> replaced_words(const ProgramModel& model) {
  std::vector<int32_t> replaces(model.statements.size(), -1), holder(kCodeWords, -1);
  for (size_t i = 0; i < model.statements.size(); ++i) {
    const ModelStatement& s = model.statements[i];
    if (s.kind < 0 || !s.addressKnown || s.address < 0 || s.address >= kCodeWords) continue;
    int32_t& earlier = holder[static_cast<size_t>(s.address)];
    replaces[i] = earlier;
    earlier = static_cast<int32_t>(i);
  }
  return replaces;
}

std::string warning_detail(const ProgramModel& model, const ModelReport& r, const ModelStatement* s,
                           const std::vector<int32_t>& replaces) {
  const ModelOperand* target = s ? statement_operand(model, *s, 0) : nullptr;
  if (r.code == E_CALL_SECOND_HALF && target && target->expression) {
    return "a call reaches only the first half of each page; the target " +
           page_text(target->value) + " lies at offset " + hex(target->value % kPageWords) +
           ": call a goto in the first half that jumps on to it";
  }
  int32_t earlier = s && r.code == E_CODE_OVERLAP
                        ? replaces[static_cast<size_t>(s - model.statements.data())]
                        : -1;
  if (earlier >= 0) {
    const ModelStatement& e = model.statements[static_cast<size_t>(earlier)];
    return "at " + hex(s->address) + ", replacing the word of " +
           model.files[static_cast<size_t>(e.file)].name + ":" +
           std::to_string(statement_place(model, e).line);
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

void add_report(const ProgramModel& model, Findings& findings, const ModelReport& r,
                const std::vector<int32_t>& replaces, std::set<int>& symbols_in_errors) {
  std::string message = error_message(r.code);
  std::string_view piece = piece_text(model, r.file, r.piece);
  bool readable = r.file >= 0 && model.files[static_cast<size_t>(r.file)].readable &&
                  r.piece >= 1 && r.piece <= model.files[static_cast<size_t>(r.file)].map.pieces;
  const ModelStatement* s =
      r.statement >= 0 ? &model.statements[static_cast<size_t>(r.statement)] : nullptr;
  std::string text(readable ? piece : std::string_view());
  split_line(text);
  SplitLine split = split_result();
  // The column of the mnemonic, as the piece writes it.
  size_t at =
      split.mnemonic.empty() ? std::string::npos : text.find(split.mnemonic, split.label.size());
  int mnemonic_column = readable && at != std::string::npos ? static_cast<int>(at) : -1;
  if (r.warning) {
    const char* check = warning_check(r.code);
    if (!check) return;
    int column = r.code == E_CALL_SECOND_HALF
                     ? (readable && split.operandCount > 0 ? split.operandColumns[0] : -1)
                     : mnemonic_column;
    std::string detail = warning_detail(model, r, s, replaces);
    add_at_piece(findings, r.file, r.piece, column, LINT_WARNING,
                 message + (detail.empty() ? "" : ": " + detail), check);
    return;
  }
  int column = r.column >= 0 ? r.column : mnemonic_column;
  std::string detail;
  if (r.code == E_BAD_INSTRUCTION && readable) {
    detail = bad_instruction_reason(model, split);
  } else if (r.code == E_CANT_OPEN_INCLUDE && readable) {
    std::string name;
    parse_include_line(std::string(piece), name);
    detail = in_quotes(name) + " (include names are relative to the working directory)";
  } else if (r.code == E_SYMBOL_UNDEFINED || r.code == E_SYMBOL_REDEFINED) {
    std::string name = r.symbol >= 0 ? model.symbols[static_cast<size_t>(r.symbol)].name : "";
    message += " [" + name + "]";
    if (r.symbol >= 0) symbols_in_errors.insert(r.symbol);
    if (r.code == E_SYMBOL_UNDEFINED && r.symbol >= 0) {
      int use = readable ? use_column(split, name) : -1;
      if (use >= 0 && r.column < 0) column = use;
      detail = why_undefined(model, r.symbol);
      int colon = model_symbol(model, name + ":");
      if (colon >= 0 && model.symbols[static_cast<size_t>(colon)].defined) {
        detail += "; the label " + in_quotes(name + ":") + " keeps its colon";
      }
    }
  }
  if (!readable) split = SplitLine{};
  std::string hint = habit_hint(r.code, split, model.isa);
  if (!hint.empty()) detail += (detail.empty() ? "" : "; ") + hint;
  add_at_piece(findings, r.file, r.piece, column, LINT_ERROR,
               message + (detail.empty() ? "" : ": " + detail), "assembler");
}

// After pass 1's errors, what pass 2 says only because of them: a report on a line pass 1
// already rejected, an operand that never parsed, a label that a rejected line would have
// defined.
bool follows_pass1_error(const ProgramModel& model, size_t index) {
  if (model.pass1Reports < 0 || index < static_cast<size_t>(model.pass1Reports)) return false;
  const ModelReport& r = model.reports[index];
  if (r.code == E_SYMBOL_UNDEFINED && r.symbol < 0) return true;
  for (size_t i = 0; i < static_cast<size_t>(model.pass1Reports); ++i) {
    const ModelReport& rejected = model.reports[i];
    if (rejected.file == r.file && rejected.piece == r.piece) return true;
    if (r.code != E_SYMBOL_UNDEFINED || r.symbol < 0) continue;
    const SplitLine& s = split_piece(model, rejected.file, rejected.piece);
    if (s.label == model.symbols[static_cast<size_t>(r.symbol)].name) return true;
  }
  return false;
}

}  // namespace

std::string page_text(int32_t address) {
  return hex(address) + " (page " + std::to_string(address / kPageWords) + ")";
}

void add_reports(const ProgramModel& model, Findings& findings, bool fragment,
                 std::set<int>& symbols_in_errors) {
  std::vector<int32_t> replaces;
  for (size_t i = 0; i < model.reports.size(); ++i) {
    const ModelReport& r = model.reports[i];
    if (fragment && (r.code == E_FUSE_UNDEFINED || r.code == E_FUSEX_UNDEFINED)) continue;
    if (follows_pass1_error(model, i)) continue;
    if (r.code == E_CODE_OVERLAP && replaces.empty()) replaces = replaced_words(model);
    add_report(model, findings, r, replaces, symbols_in_errors);
  }
  if (!model.stop.empty()) {
    // A stop of the loader or the passes (a file that cannot be read): the message wendrix
    // prints is an error at the file it names, so the run fails as wendrix's does.
    add_at_piece(findings, model.stopFile, model.stopPiece, 0, LINT_ERROR,
                 model.stop + ": wendrix stops here", "assembler");
  }
}
