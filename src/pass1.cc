// Pass 1: every statement read, classified, its operands parsed, and kept for pass 2.
#include "pass1.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "diag.h"
#include "expr.h"
#include "isa.h"
#include "source.h"
#include "symbols.h"

namespace {

// The statements, their operands and their texts, each in storage that never moves them. A
// listed statement's texts are one run of NUL-ended strings: label, mnemonic, operands.
StatementList g_statements;
std::vector<int32_t> g_orgs;
BlockArena<StatementOperand> g_operands;
BlockArena<char> g_texts;

// Keeps the texts of a listed statement; returns the place of their run.
int32_t keep_texts(const SplitLine& s) {
  size_t size = s.label.size() + s.mnemonic.size() + 2;
  for (int k = 0; k < s.operandCount; ++k) size += s.operands[k].size() + 1;
  size_t place;
  char* at = g_texts.take(size, place).data();
  assert(place <= INT32_MAX);
  auto put = [&at](std::string_view text) {
    at = std::copy(text.begin(), text.end(), at);
    *at++ = '\0';
  };
  put(s.label);
  put(s.mnemonic);
  for (int k = 0; k < s.operandCount; ++k) put(s.operands[k]);
  return static_cast<int32_t>(place);
}

// What pass 1 makes of a statement before keeping it.
struct Classification {
  int32_t kind = KIND_UNMATCHED;           // a definition's index, or a StatementKind
  int32_t directive = -1;                  // the ReservedWord the mnemonic is written as, or -1
  bool literalMatched[kMaxOperands] = {};  // operands that matched a literal of the definition
  int32_t trees[kMaxOperands];             // the other operands' trees (kNoTree: none)
};

// A directive's statement kind is -1 - its reserved word.
static_assert(KIND_ORG == -1 - RW_ORG && KIND_EQU == -1 - RW_EQU && KIND_DS == -1 - RW_DS);
int32_t directive_kind(int32_t word) {
  return -1 - word;
}

// Whether a definition is named like a directive; usually none is.
bool g_directive_named = false;

void note_directive_names() {
  g_directive_named = false;
  for (const InstructionDef& def : instruction_table()) {
    if (reserved_word(def.name) >= 0) g_directive_named = true;
  }
}

// The instruction set's match rule; marks the operands that matched a literal.
int32_t find_instruction(const SplitLine& s, Classification& c) {
  c.directive = reserved_word(s.mnemonic);
  if (!g_directive_named && c.directive >= 0) return KIND_UNMATCHED;
  int32_t index = match_instruction(instruction_set(), s.mnemonic,
                                    std::span(s.operands, static_cast<size_t>(s.operandCount)));
  if (index < 0) return KIND_UNMATCHED;
  const InstructionDef& def = instruction_table()[static_cast<size_t>(index)];
  for (int k = 0; k < def.operandCount; ++k) c.literalMatched[k] = !def.operands[k].isNumeric;
  return index;
}

// The directive kind of a mnemonic, or KIND_UNMATCHED after reporting "bad instruction".
int32_t detect_directive(const SplitLine& s, const Classification& c) {
  // Written as the directive alone, as nearly always, the mnemonic is that directive; otherwise
  // the tokenizer decides.
  if (c.directive >= 0) return directive_kind(c.directive);
  current_error = E_NONE;
  int32_t column = -1;
  std::span<ExprToken> tokens = tokenize_expression(s.mnemonic.data(), column);
  if (current_error == E_NONE && tokens.size() == 1 && tokens[0].kind == TOK_RESERVED) {
    return directive_kind(tokens[0].value);
  }
  report_here(E_BAD_INSTRUCTION, 0, 0);
  return KIND_UNMATCHED;
}

void parse_operands(const SplitLine& s, Classification& c) {
  for (int k = 0; k < s.operandCount; ++k) {
    c.trees[k] = kNoTree;
    if (c.literalMatched[k]) continue;
    int32_t column = -1;
    // The splitter ends each operand with a NUL.
    std::span<ExprToken> tokens = tokenize_expression(s.operands[k].data(), column);
    if (column < 0) c.trees[k] = parse_expression(tokens, column);
    if (column >= 0) report_here(current_error, 1, s.operandColumns[k] + column);
  }
}

void define_label(const SplitLine& s, const Classification& c) {
  int32_t statement = static_cast<int32_t>(g_statements.size());
  StatementRecord& record = g_statements.emplace_back();
  record.address = 0;
  record.lineNumber = current_line_number();
  record.labelSymbol = -1;
  record.kind = c.kind;
  record.file = current_file_index();
  record.operands = 0;
  record.texts = -1;
  record.operandCount = static_cast<uint8_t>(s.operandCount);
  record.addressKnown = 0;
  if (!s.label.empty()) {
    int index = symbol_find_or_add(s.label);
    SymbolEntry& entry = symbol_at(index);
    if (entry.definedByLabel) {
      error_symbol = index;
      report_here(E_SYMBOL_REDEFINED, 1, 0);
    }
    record.labelSymbol = index;
    entry.definedByLabel = 1;
    entry.statement = statement;
    entry.equTree = (c.kind == KIND_EQU && s.operandCount > 0) ? c.trees[0] : kNoTree;
  }
  size_t place;
  std::span<StatementOperand> operands =
      g_operands.take(static_cast<size_t>(s.operandCount), place);
  assert(place <= INT32_MAX);
  record.operands = static_cast<int32_t>(place);
  for (int k = 0; k < s.operandCount; ++k) {
    StatementOperand& operand = operands[static_cast<size_t>(k)];
    operand.isExpression = c.literalMatched[k] ? 0 : 1;
    operand.tree = c.literalMatched[k] ? kNoTree : c.trees[k];
  }
  if (c.kind >= 0 || c.kind == KIND_NONE) record.texts = keep_texts(s);
  if (c.kind == KIND_ORG) g_orgs.push_back(statement);
}

}  // namespace

StatementList& statement_list() {
  return g_statements;
}

const std::vector<int32_t>& org_statements() {
  return g_orgs;
}

std::span<StatementOperand> statement_operands(const StatementRecord& s) {
  if (s.operandCount == 0) return {};
  return {g_operands.at(static_cast<size_t>(s.operands)), s.operandCount};
}

const std::string* statement_file(const StatementRecord& s) {
  return source_file_name(static_cast<size_t>(s.file));
}

std::string_view statement_texts(const StatementRecord& s) {
  static const char kNoTexts[kMaxOperands + 2] = {};
  return s.texts < 0 ? kNoTexts : g_texts.at(static_cast<size_t>(s.texts));
}

std::string_view next_text(std::string_view text) {
  return text.data() + text.size() + 1;
}

void statements_reset() {
  g_statements.clear();
  g_orgs.clear();
  g_operands.clear();
  g_texts.clear();
  // The statements' expression trees live in the expression module's storage.
  expr_reset();
}

void run_pass1() {
  note_directive_names();
  for (;;) {
    current_error = E_NONE;
    int result = read_statement();
    if (current_error != E_NONE) {
      report_here(current_error, 0, 0);
      fatal_stop(1);
    }
    if (result == 1) return;
    const SplitLine& s = split_result();
    if (s.label.empty() && s.mnemonic.empty()) continue;
    Classification c;
    c.kind = find_instruction(s, c);
    if (c.kind == KIND_UNMATCHED) {
      if (s.mnemonic.empty()) {
        c.kind = KIND_NONE;
      } else {
        c.kind = detect_directive(s, c);
        if (c.kind == KIND_UNMATCHED) continue;
      }
    }
    parse_operands(s, c);
    define_label(s, c);
  }
}
