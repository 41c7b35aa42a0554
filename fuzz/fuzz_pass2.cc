// Guards pass 2's incremental resolver: runs the assembler twice on one fuzzed program, once
// with the real resolver and once with the plain one below, which repeats whole sweeps exactly
// as the resolution rules read. Any difference in console output, exit status, output files,
// statement addresses, symbol values or operand values aborts.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "diag.h"
#include "driver.h"
#include "expr.h"
#include "fuzz_input.h"
#include "isa.h"
#include "pass1.h"
#include "pass2.h"
#include "source.h"
#include "symbols.h"

namespace {

void report(const StatementRecord& s, int code) {
  report_at(statement_file(s), s.lineNumber, code);
}

// E_NONE on success, otherwise the evaluator's code (error_symbol set for a missing value).
int evaluate(int32_t tree) {
  if (tree == kNoTree) std::abort();  // a clean pass 1 leaves a tree on every expression operand
  evaluate_expression(tree);
  return current_error;
}

bool one_expression(const StatementRecord& s) {
  return s.operandCount == 1 && statement_operands(s)[0].isExpression == 1;
}

bool iteration_progress = false;

void equ_resolution() {
  bool progress;
  do {
    progress = false;
    for (int i = 0; i < symbol_count(); ++i) {
      SymbolEntry& entry = symbol_at(i);
      if (entry.valueKnown || !entry.definedByLabel) continue;
      if (entry.statement < 0) continue;
      const StatementRecord& s = statement_list()[static_cast<size_t>(entry.statement)];
      if (s.kind != KIND_EQU) continue;
      if (!one_expression(s)) {
        report(s, E_BAD_EQU);
        continue;
      }
      int code = evaluate(entry.equTree);
      if (code == E_NONE) {
        entry.value = expr_node(entry.equTree).value;
        entry.valueKnown = 1;
        progress = iteration_progress = true;
      } else if (code != E_SYMBOL_UNDEFINED) {
        report(s, code);
      }
    }
  } while (progress && !errors_seen);
}

bool org_sweep() {
  bool progress = false;
  for (StatementRecord& s : statement_list()) {
    if (s.kind != KIND_ORG || s.addressKnown) continue;
    if (!one_expression(s)) {
      report(s, E_INVALID_ORG);
      continue;
    }
    int code = evaluate(statement_operands(s)[0].tree);
    if (code == E_NONE) {
      s.address = expr_node(statement_operands(s)[0].tree).value;
      s.addressKnown = 1;
      progress = iteration_progress = true;
    } else if (code != E_SYMBOL_UNDEFINED) {
      report(s, code);
    }
  }
  return progress;
}

bool address_sweep() {
  bool progress = false;
  bool valid = false;
  uint32_t counter = 0;
  for (StatementRecord& s : statement_list()) {
    if (s.kind == KIND_ORG) {
      valid = s.addressKnown != 0;
      if (valid) counter = static_cast<uint32_t>(s.address);
    }
    if (valid) {
      s.address = static_cast<int32_t>(counter);
      s.addressKnown = 1;
    }
    if (s.labelSymbol != -1 && s.kind != KIND_EQU && s.addressKnown) {
      SymbolEntry& entry = symbol_at(s.labelSymbol);
      if (!entry.valueKnown) {
        entry.value = static_cast<int32_t>(counter);
        entry.valueKnown = 1;
        progress = iteration_progress = true;
      } else if (entry.value != static_cast<int32_t>(counter)) {
        error_symbol = s.labelSymbol;
        report(s, E_SYMBOL_REDEFINED);
        continue;
      }
    }
    if (s.kind == KIND_DS) {
      if (s.operandCount != 1) {
        report(s, E_INVALID_DS);
        continue;
      }
      if (statement_operands(s)[0].tree == kNoTree ||
          !expr_node(statement_operands(s)[0].tree).known)
        valid = false;
    }
    if (!valid) continue;
    if (s.kind >= 0) {
      int bits = instruction_table()[static_cast<size_t>(s.kind)].bitCount;
      counter += static_cast<uint32_t>((bits + 11) / 12);
    } else if (s.kind == KIND_DS) {
      counter += static_cast<uint32_t>(expr_node(statement_operands(s)[0].tree).value);
    }
  }
  return progress;
}

void address_assignment() {
  bool progress;
  do {
    progress = org_sweep();
    progress = address_sweep() || progress;
  } while (progress && !errors_seen);
}

void operand_sweep(bool final_check) {
  for (StatementRecord& s : statement_list()) {
    for (const StatementOperand& operand : statement_operands(s)) {
      if (operand.isExpression != 1) continue;
      if (operand.tree != kNoTree && expr_node(operand.tree).known) continue;
      int code = evaluate(operand.tree);
      if (code == E_NONE) {
        iteration_progress = true;
      } else if (code != E_SYMBOL_UNDEFINED || final_check) {
        report(s, code);
      }
    }
  }
}

void stop_if_errors() {
  if (errors_seen) fatal_stop(1);
}

int32_t configuration_word(const char* name, int code) {
  int index = symbol_find(name);
  if (index >= 0) return symbol_at(index).value & 0xFFF;
  if (statement_list().empty()) {
    report_at(source_file_name(0), 0, code);
  } else {
    report(statement_list().back(), code);
  }
  return 0;
}

ConfigWords full_sweep_resolve() {
  do {
    iteration_progress = false;
    equ_resolution();
    stop_if_errors();
    address_assignment();
    stop_if_errors();
    operand_sweep(false);
  } while (iteration_progress);
  stop_if_errors();
  operand_sweep(true);
  stop_if_errors();
  ConfigWords words;
  words.fuse = configuration_word("__FUSE", E_FUSE_UNDEFINED);
  words.fusex = configuration_word("__FUSEX", E_FUSEX_UNDEFINED);
  stop_if_errors();
  return words;
}

// Everything a run leaves that the two resolvers must agree on.
struct Outcome {
  int status = 0;
  std::string console, listing, hex;
  std::vector<int64_t> values;  // addresses, symbol values and operand values, flattened
  bool operator==(const Outcome&) const = default;
};

Outcome run(ConfigWords (*resolve)()) {
  std::remove("t.lst");
  std::remove("t.hex");
  std::ostringstream console;
  Outcome o;
  o.status = run_wendrix({"/nonexistent/wendrix", "t"}, console, resolve);
  o.console = console.str();
  o.listing = fuzz_input::read_file("t.lst");
  o.hex = fuzz_input::read_file("t.hex");
  // The statement list and the symbol table stay as the run left them until the next run.
  for (const StatementRecord& s : statement_list()) {
    o.values.push_back(s.addressKnown ? s.address : INT64_MIN);
    for (const StatementOperand& operand : statement_operands(s)) {
      bool known = operand.tree != kNoTree && expr_node(operand.tree).known;
      o.values.push_back(known ? expr_node(operand.tree).value : INT64_MIN);
    }
  }
  for (int i = 0; i < symbol_count(); ++i) {
    const SymbolEntry& entry = symbol_at(i);
    o.values.push_back(entry.valueKnown ? entry.value : INT64_MIN);
  }
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input::home();
  fuzz_input::enter(data, size);
  Outcome incremental = run(resolve_symbols);
  Outcome plain = run(full_sweep_resolve);
  fuzz_input::leave();
  if (!(incremental == plain)) std::abort();
  return 0;
}
