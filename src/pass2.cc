#include "pass2.h"

#include <ostream>

#include "diag.h"
#include "expr.h"
#include "isa.h"
#include "output.h"
#include "pass1.h"
#include "source.h"
#include "symbols.h"

namespace {

int32_t g_location = 0;
bool g_iteration_progress = false;

void stop_if_errors() {
  if (errors_seen) fatal_stop(1);
}

// Every pass-2 report is an error at a stored statement, without its line.
void report_at(const StatementRecord& s, int code) {
  set_position(s.fileName, s.lineNumber);
  current_error = code;
  report_error(0, 0);
  errors_seen = true;
}

bool single_expression(const StatementRecord& s) {
  return s.operandCount == 1 && s.operands[0].isExpression == 1;
}

// Evaluates a tree; true when it has a value. A missing symbol is left for a later sweep
// unless `final_check`; any other failure is reported at the statement.
bool evaluate_at(const StatementRecord& s, ExprNode* tree, bool final_check) {
  current_error = E_NONE;
  if (tree) {
    evaluate_expression(tree);
  } else {
    current_error = E_SYMBOL_UNDEFINED;  // cannot happen after a clean pass 1
  }
  if (current_error == E_NONE) return true;
  if (current_error != E_SYMBOL_UNDEFINED || final_check) report_at(s, current_error);
  return false;
}

void resolve_equs() {
  bool progress;
  do {
    progress = false;
    for (int i = 0; i < symbol_count(); ++i) {
      SymbolEntry& entry = symbol_at(i);
      if (entry.valueKnown || !entry.definedByLabel) continue;
      const StatementRecord* s = entry.statement;
      if (!s || s->kind != KIND_EQU) continue;
      if (!single_expression(*s)) {
        report_at(*s, E_BAD_EQU);
        continue;
      }
      if (evaluate_at(*s, entry.equTree, false)) {
        entry.value = entry.equTree->value;
        entry.valueKnown = 1;
        progress = g_iteration_progress = true;
      }
    }
  } while (progress && !errors_seen);
}

uint32_t u32(int32_t v) {
  return static_cast<uint32_t>(v);
}

bool org_sweep() {
  bool progress = false;
  for (const auto& record : statement_list()) {
    StatementRecord& s = *record;
    if (s.kind != KIND_ORG || s.addressKnown) continue;
    if (!single_expression(s)) {
      report_at(s, E_INVALID_ORG);
      continue;
    }
    if (evaluate_at(s, s.operands[0].tree, false)) {
      s.address = s.operands[0].tree->value;
      s.addressKnown = 1;
      progress = g_iteration_progress = true;
    }
  }
  return progress;
}

bool address_sweep() {
  bool progress = false;
  bool counter_valid = false;
  const std::vector<InstructionDef>& table = instruction_table();
  for (const auto& record : statement_list()) {
    StatementRecord& s = *record;
    if (s.kind == KIND_ORG) {
      counter_valid = s.addressKnown != 0;
      if (counter_valid) g_location = s.address;
    }
    if (counter_valid) {
      s.address = g_location;
      s.addressKnown = 1;
    }
    if (s.labelSymbol != -1 && s.kind != KIND_EQU && s.addressKnown) {
      SymbolEntry& entry = symbol_at(s.labelSymbol);
      if (!entry.valueKnown) {
        entry.value = g_location;
        entry.valueKnown = 1;
        progress = g_iteration_progress = true;
      } else if (entry.value != g_location) {
        error_symbol = s.labelSymbol;
        report_at(s, E_SYMBOL_REDEFINED);
        continue;
      }
    }
    if (s.kind == KIND_DS) {
      if (s.operandCount != 1) {
        report_at(s, E_INVALID_DS);
        continue;
      }
      const ExprNode* tree = s.operands[0].tree;
      if (!tree || !tree->known) counter_valid = false;
    }
    if (!counter_valid) continue;
    if (s.kind >= 0) {
      int words = (table[static_cast<size_t>(s.kind)].bitCount + 11) / 12;
      g_location = static_cast<int32_t>(u32(g_location) + u32(words));
    } else if (s.kind == KIND_DS) {
      g_location = static_cast<int32_t>(u32(g_location) + u32(s.operands[0].tree->value));
    }
  }
  return progress;
}

void assign_addresses() {
  bool progress;
  do {
    progress = org_sweep();
    progress = address_sweep() || progress;
  } while (progress && !errors_seen);
}

void evaluate_operands(bool final_check) {
  for (const auto& record : statement_list()) {
    const StatementRecord& s = *record;
    for (const StatementOperand& operand : s.operands) {
      if (operand.isExpression != 1) continue;
      if (operand.tree && operand.tree->known) continue;
      if (evaluate_at(s, operand.tree, final_check)) g_iteration_progress = true;
    }
  }
}

// The value of a configuration symbol, cut to 12 bits; reported when the name is absent.
int32_t configuration_word(const char* name, int code) {
  int index = symbol_find(name);
  if (index >= 0) return symbol_at(index).value & 0xFFF;
  const StatementList& list = statement_list();
  if (list.empty()) {
    // No statement to point at: the main source, before its first line.
    set_position(source_file_name(0), 0);
    current_error = code;
    report_error(0, 0);
    errors_seen = true;
  } else {
    report_at(*list.back(), code);
  }
  return 0;
}

}  // namespace

void set_location_counter(int32_t value) {
  g_location = value;
}

void run_pass2(const std::string& base_name) {
  console() << "Pass 2...\n";
  do {
    g_iteration_progress = false;
    resolve_equs();
    stop_if_errors();
    assign_addresses();
    stop_if_errors();
    evaluate_operands(false);
  } while (g_iteration_progress);
  stop_if_errors();
  evaluate_operands(true);
  stop_if_errors();
  int32_t fuse = configuration_word("__FUSE", E_FUSE_UNDEFINED);
  int32_t fusex = configuration_word("__FUSEX", E_FUSEX_UNDEFINED);
  stop_if_errors();

  clear_code_memory();
  write_listing(base_name, fuse, fusex);
  write_hex_file(base_name, fuse, fusex);
  console() << "\n\nDone.\n";
}
