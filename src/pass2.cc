// Pass 2: symbols, addresses and operands resolved, then the listing and hex file written.
#include "pass2.h"

#include <algorithm>
#include <functional>
#include <ostream>
#include <queue>
#include <vector>

#include "diag.h"
#include "expr.h"
#include "isa.h"
#include "output.h"
#include "pass1.h"
#include "source.h"
#include "symbols.h"

// Resolution repeats whole sweeps over the symbols and statements until an iteration learns
// nothing. Done literally, a chain of definitions written in the wrong order costs one sweep per
// link; fuzz/fuzz_pass2.cc keeps that literal resolver, and holds this one to it on every input.
// The sweeps below visit only what can have changed since it was last looked at, and give
// exactly the results, reports and order of reports that the full sweeps give:
//
// - A tree whose evaluation stopped at a symbol without a value stops at the same leaf, with no
//   other effect, until that symbol gets a value: it waits on that symbol and is looked at again
//   only once the symbol is learnt.
// - An address sweep redoes only the statements from the first one whose inputs changed (an org
//   that got its address, a ds whose count became known) and stops where the location counter
//   is again what it was at that statement in the previous sweep. That is read off the statement
//   itself, since whatever is known stays known: a statement other than an org took the counter
//   as its address when it was valid, and an org sets the counter whatever came before it.

namespace {

struct OperandRef {
  int statement;
  int operand;
  bool operator<(const OperandRef& o) const {
    return statement != o.statement ? statement < o.statement : operand < o.operand;
  }
  bool operator==(const OperandRef& o) const = default;
};

struct CounterState {
  bool valid = false;
  int32_t location = 0;
  bool same_as(const CounterState& o) const {
    return valid == o.valid && (!valid || location == o.location);
  }
};

// What waits for a symbol: an equ symbol, an org statement or an operand. The waiters of one
// symbol form a list threaded through one pool, so a symbol that nothing waits for costs an int.
enum WaiterKind { WAIT_EQU, WAIT_ORG, WAIT_OPERAND };
struct Waiter {
  int next;  // next waiter of the same symbol, -1 at the end
  WaiterKind kind;
  int index;    // the equ symbol, or the statement
  int operand;  // for WAIT_OPERAND
};

// Everything the resolution keeps between sweeps; prepare() starts it afresh for each run.
struct ResolverState {
  bool iteration_progress = false;
  std::vector<int> first_waiter;  // by symbol index; -1 when nothing waits
  BlockList<Waiter> waiters;      // in blocks: it grows without a copy
  // Work for the next sweep of each kind.
  std::vector<int> equ_pending;
  std::vector<int> org_pending;
  std::vector<OperandRef> operand_pending;
  bool operands_swept = false;           // the first operand sweep looks at every operand
  int operands_waiting = 0;              // operands waiting on a symbol
  struct EquSweep* equ_sweep = nullptr;  // the equ sweep under way, if any
  std::vector<int> address_changes;      // statements whose inputs changed since then
  bool address_swept = false;
};
ResolverState g_work;

// An equ sweep visits, in index order, the symbols pending when it starts and those it wakes on
// its way further on than where it is (a full sweep would meet them there), each once.
struct EquSweep {
  std::vector<int> started;
  size_t next_started = 0;
  std::priority_queue<int, std::vector<int>, std::greater<int>> woken;
  int at = -1;  // the symbol the sweep is at

  // The next symbol to visit, or -1 at the end.
  int next() {
    for (;;) {
      int index;
      if (!woken.empty() &&
          (next_started == started.size() || woken.top() < started[next_started])) {
        index = woken.top();
        woken.pop();
      } else if (next_started < started.size()) {
        index = started[next_started++];
      } else {
        return -1;
      }
      if (index != at) return at = index;  // a symbol both pending and woken comes twice
    }
  }
};

StatementRecord& statement_at(int index) {
  return statement_list()[static_cast<size_t>(index)];
}

void stop_if_errors() {
  if (errors_seen) fatal_stop(1);
}

// Every pass-2 report is an error at a stored statement, without its line.
void report_at(const StatementRecord& s, int code) {
  ::report_at(statement_file(s), s.lineNumber, code);
}

bool single_expression(const StatementRecord& s) {
  return s.operandCount == 1 && statement_operands(s)[0].isExpression == 1;
}

// Evaluates a tree: E_NONE on success, E_SYMBOL_UNDEFINED (error_symbol set) or another code.
int evaluate(int32_t tree) {
  current_error = E_NONE;
  if (tree == kNoTree) {
    // Only after a failed pass 1, which never gets here; nothing to wait for.
    error_symbol = -1;
    return E_SYMBOL_UNDEFINED;
  }
  evaluate_expression(tree);
  return current_error;
}

// Whether a tree that failed can be left until `error_symbol` gets a value.
bool can_wait(int code) {
  return code == E_SYMBOL_UNDEFINED && error_symbol >= 0;
}

void learn_symbol(int index, int32_t value) {
  SymbolEntry& entry = symbol_at(index);
  entry.value = value;
  entry.valueKnown = 1;
  int& first = g_work.first_waiter[static_cast<size_t>(index)];
  for (int w = first; w >= 0; w = g_work.waiters[static_cast<size_t>(w)].next) {
    const Waiter& waiter = g_work.waiters[static_cast<size_t>(w)];
    switch (waiter.kind) {
      case WAIT_EQU:
        if (g_work.equ_sweep && waiter.index > g_work.equ_sweep->at) {
          g_work.equ_sweep->woken.push(waiter.index);
        } else {
          g_work.equ_pending.push_back(waiter.index);
        }
        break;
      case WAIT_ORG:
        g_work.org_pending.push_back(waiter.index);
        break;
      case WAIT_OPERAND:
        g_work.operand_pending.push_back(OperandRef{waiter.index, waiter.operand});
        --g_work.operands_waiting;
        break;
    }
  }
  first = -1;
}

// Leaves work until `error_symbol`, at which its evaluation stopped, gets a value.
void wait_for_symbol(WaiterKind kind, int index, int operand = 0) {
  int& first = g_work.first_waiter[static_cast<size_t>(error_symbol)];
  g_work.waiters.emplace_back() = Waiter{first, kind, index, operand};
  first = static_cast<int>(g_work.waiters.size()) - 1;
}

template <typename T>
std::vector<T> take_sorted(std::vector<T>& pending) {
  std::vector<T> work;
  work.swap(pending);
  if (!std::is_sorted(work.begin(), work.end())) std::sort(work.begin(), work.end());
  work.erase(std::unique(work.begin(), work.end()), work.end());
  return work;
}

void resolve_equs() {
  bool progress;
  do {
    progress = false;
    EquSweep sweep;
    sweep.started = take_sorted(g_work.equ_pending);
    g_work.equ_sweep = &sweep;
    for (int index; (index = sweep.next()) >= 0;) {
      SymbolEntry& entry = symbol_at(index);
      if (entry.valueKnown) continue;
      const StatementRecord& s = statement_at(entry.statement);
      if (!single_expression(s)) {
        report_at(s, E_BAD_EQU);
        g_work.equ_pending.push_back(index);
        continue;
      }
      int code = evaluate(entry.equTree);
      if (code == E_NONE) {
        progress = g_work.iteration_progress = true;
        learn_symbol(index, expr_node(entry.equTree).value);
      } else if (can_wait(code)) {
        wait_for_symbol(WAIT_EQU, index);
      } else {
        report_at(s, code);
        g_work.equ_pending.push_back(index);
      }
    }
    g_work.equ_sweep = nullptr;
  } while (progress && !errors_seen);
}

bool org_sweep() {
  bool progress = false;
  for (int index : take_sorted(g_work.org_pending)) {
    StatementRecord& s = statement_at(index);
    if (s.addressKnown) continue;
    if (!single_expression(s)) {
      report_at(s, E_INVALID_ORG);
      g_work.org_pending.push_back(index);
      continue;
    }
    int32_t tree = statement_operands(s)[0].tree;
    int code = evaluate(tree);
    if (code == E_NONE) {
      s.address = expr_node(tree).value;
      s.addressKnown = 1;
      g_work.address_changes.push_back(index);
      progress = g_work.iteration_progress = true;
    } else if (can_wait(code)) {
      wait_for_symbol(WAIT_ORG, index);
    } else {
      report_at(s, code);
      g_work.org_pending.push_back(index);
    }
  }
  return progress;
}

// One statement of an address sweep. A failed guard leaves the counter alone.
void assign_address(StatementRecord& s, CounterState& counter, bool& progress) {
  if (s.kind == KIND_ORG) {
    counter.valid = s.addressKnown != 0;
    if (counter.valid) counter.location = s.address;
  }
  if (counter.valid) {
    s.address = counter.location;
    s.addressKnown = 1;
  }
  if (s.labelSymbol != -1 && s.kind != KIND_EQU && s.addressKnown) {
    SymbolEntry& entry = symbol_at(s.labelSymbol);
    if (!entry.valueKnown) {
      progress = g_work.iteration_progress = true;
      learn_symbol(s.labelSymbol, counter.location);
    } else if (entry.value != counter.location) {
      // Cannot happen after a clean pass 1: one label, one statement, one address.
      error_symbol = s.labelSymbol;
      report_at(s, E_SYMBOL_REDEFINED);
      return;
    }
  }
  if (s.kind == KIND_DS) {
    if (s.operandCount != 1) {
      report_at(s, E_INVALID_DS);
      return;
    }
    int32_t tree = statement_operands(s)[0].tree;
    if (tree == kNoTree || !expr_node(tree).known) counter.valid = false;
  }
  if (!counter.valid) return;
  // The counter wraps like every other 32-bit value.
  uint32_t step = 0;
  if (s.kind >= 0) {
    step = words_taken(instruction_table()[static_cast<size_t>(s.kind)]);
  } else if (s.kind == KIND_DS) {
    step = static_cast<uint32_t>(expr_node(statement_operands(s)[0].tree).value);
  }
  counter.location = static_cast<int32_t>(static_cast<uint32_t>(counter.location) + step);
}

// The counter before a statement in the last address sweep that reached it (for an org, which
// sets the counter afresh, it does not matter).
CounterState counter_before(const StatementRecord& s) {
  return s.kind == KIND_ORG ? CounterState{} : CounterState{s.addressKnown != 0, s.address};
}

bool address_sweep() {
  StatementList& list = statement_list();
  int count = static_cast<int>(list.size());
  int first = 0;
  int last_change = count - 1;
  if (g_work.address_swept) {
    std::vector<int> changes = take_sorted(g_work.address_changes);
    if (changes.empty()) return false;  // the sweep would repeat the last one exactly
    first = changes.front();
    last_change = changes.back();
  }
  g_work.address_changes.clear();
  g_work.address_swept = true;
  bool progress = false;
  CounterState counter;
  if (first < count) counter = counter_before(list[static_cast<size_t>(first)]);
  auto statement = list.from(static_cast<size_t>(first));
  for (int i = first; i < count; ++i, ++statement) {
    StatementRecord& s = *statement;
    if (i > last_change && (s.kind == KIND_ORG || counter.same_as(counter_before(s)))) {
      break;  // the rest is as last time
    }
    assign_address(s, counter, progress);
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

// One operand without a value yet. A missing symbol is waited for unless `final_check`; any
// other failure is reported.
void evaluate_operand(StatementRecord& s, const StatementOperand& operand, const OperandRef& ref,
                      bool final_check) {
  int32_t tree = operand.tree;
  if (tree != kNoTree && expr_node(tree).known) return;
  int code = evaluate(tree);
  if (code == E_NONE) {
    g_work.iteration_progress = true;
    // A ds count changes what the next address sweep sees.
    if (s.kind == KIND_DS && ref.operand == 0) g_work.address_changes.push_back(ref.statement);
  } else if (can_wait(code) && !final_check) {
    wait_for_symbol(WAIT_OPERAND, ref.statement, ref.operand);
    ++g_work.operands_waiting;
  } else {
    report_at(s, code);
    if (!final_check) g_work.operand_pending.push_back(ref);
  }
}

// Every expression operand, in statement order.
template <typename Visit>
void each_expression_operand(Visit visit) {
  int i = 0;
  for (StatementRecord& s : statement_list()) {
    std::span<StatementOperand> operands = statement_operands(s);
    for (size_t k = 0; k < operands.size(); ++k) {
      if (operands[k].isExpression == 1) visit(s, operands[k], OperandRef{i, static_cast<int>(k)});
    }
    ++i;
  }
}

void evaluate_operands() {
  if (!g_work.operands_swept) {
    g_work.operands_swept = true;
    each_expression_operand(
        [](StatementRecord& s, const StatementOperand& operand, const OperandRef& ref) {
          evaluate_operand(s, operand, ref, false);
        });
    return;
  }
  for (const OperandRef& ref : take_sorted(g_work.operand_pending)) {
    StatementRecord& s = statement_at(ref.statement);
    evaluate_operand(s, statement_operands(s)[static_cast<size_t>(ref.operand)], ref, false);
  }
}

// Once no iteration makes progress, an operand without a value is one still waiting on a
// symbol: when none waits, there is nothing to report.
void final_check() {
  if (g_work.operands_waiting == 0) return;
  each_expression_operand([](StatementRecord& s, const StatementOperand& operand,
                             const OperandRef& ref) { evaluate_operand(s, operand, ref, true); });
}

// The value of a configuration symbol, cut to 12 bits; reported when the name is absent.
int32_t configuration_word(const char* name, int code) {
  int index = symbol_find(name);
  if (index >= 0) return symbol_at(index).value & 0xFFF;
  const StatementList& list = statement_list();
  if (list.empty()) {
    // No statement to point at: the main source, before its first line.
    ::report_at(source_file_name(0), 0, code);
  } else {
    report_at(list.back(), code);
  }
  return 0;
}

// Everything is looked at in the first sweep of each kind.
void prepare() {
  g_work = ResolverState{};
  g_work.first_waiter.assign(static_cast<size_t>(symbol_count()), -1);
  for (int i = 0; i < symbol_count(); ++i) {
    const SymbolEntry& entry = symbol_at(i);
    if (!entry.valueKnown && entry.definedByLabel && entry.statement >= 0 &&
        statement_at(entry.statement).kind == KIND_EQU) {
      g_work.equ_pending.push_back(i);
    }
  }
  g_work.org_pending.assign(org_statements().begin(), org_statements().end());
}

}  // namespace

ConfigWords resolve_symbols() {
  prepare();
  do {
    g_work.iteration_progress = false;
    resolve_equs();
    stop_if_errors();
    assign_addresses();
    stop_if_errors();
    evaluate_operands();
  } while (g_work.iteration_progress);
  stop_if_errors();
  final_check();
  stop_if_errors();
  ConfigWords words;
  words.fuse = configuration_word("__FUSE", E_FUSE_UNDEFINED);
  words.fusex = configuration_word("__FUSEX", E_FUSEX_UNDEFINED);
  stop_if_errors();
  return words;
}

void run_pass2(const std::string& base_name, Resolver resolve) {
  console() << "Pass 2...\n";
  ConfigWords words = resolve();
  clear_code_memory();
  write_listing(base_name, words.fuse, words.fusex);
  write_hex_file(base_name, words.fuse, words.fusex);
  console() << "\n\nDone.\n";
}
