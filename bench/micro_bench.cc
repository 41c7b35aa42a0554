// Micro-benchmarks: the expression front end, the evaluator, and whole assemblies run in this
// process on large generated programs (pass 2 dominates the chain patterns).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "diag.h"
#include "driver.h"
#include "expr.h"
#include "symbols.h"

namespace {

const char* const kExpression = "(table_end - table) * 3 + H'1F' << 2 | ~$80 & -count % 7";

void BM_TokenizeAndParse(benchmark::State& state) {
  for (auto _ : state) {
    diag_reset();
    symbols_reset();
    expr_reset();
    int32_t column = 0;
    int32_t root = parse_expression(tokenize_expression(kExpression, column), column);
    benchmark::DoNotOptimize(root);
  }
}
BENCHMARK(BM_TokenizeAndParse);

void forget(int32_t tree) {
  if (tree == kNoTree) return;
  expr_node(tree).known = 0;
  forget(left_operand(tree));
  forget(right_operand(tree));
}

void BM_Evaluate(benchmark::State& state) {
  diag_reset();
  symbols_reset();
  expr_reset();
  int32_t column = 0;
  int32_t root = parse_expression(tokenize_expression(kExpression, column), column);
  for (int i = 0; i < symbol_count(); ++i) {
    symbol_at(i).value = 100 + i;
    symbol_at(i).valueKnown = 1;
  }
  for (auto _ : state) {
    forget(root);
    evaluate_expression(root);
    benchmark::DoNotOptimize(expr_node(root).value);
  }
}
BENCHMARK(BM_Evaluate);

// Generates a program with bench/gen.py into a private directory once per size.
std::string generate(const std::string& options) {
  char templ[] = "/tmp/wendrix-bench-XXXXXX";
  if (!mkdtemp(templ)) std::abort();
  std::string command = std::string("python3 ") + WENDRIX_BENCH_DIR + "/gen.py " + templ + " " +
                        options + " >/dev/null";
  if (std::system(command.c_str()) != 0) std::abort();
  return templ;
}

void assemble_in(benchmark::State& state, const std::string& options) {
  std::string dir = generate(options);
  char home[4096];
  if (!getcwd(home, sizeof home) || chdir(dir.c_str()) != 0) std::abort();
  for (auto _ : state) {
    std::ostringstream out;
    int status = run_wendrix({"wendrix", "prog"}, out);
    if (status != 0) state.SkipWithError("assembly failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  if (chdir(home) != 0) std::abort();
  std::system(("rm -rf " + dir).c_str());
}

void BM_AssembleRegular(benchmark::State& state) {
  assemble_in(state, "--statements " + std::to_string(state.range(0)) + " --symbols " +
                         std::to_string(state.range(0) * 10000 / 65536));
}
BENCHMARK(BM_AssembleRegular)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_AssembleEquChain(benchmark::State& state) {
  assemble_in(state, "--pattern equ-chain --statements " + std::to_string(state.range(0)));
}
BENCHMARK(BM_AssembleEquChain)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_AssembleOrgChain(benchmark::State& state) {
  assemble_in(state, "--pattern org-chain --statements " + std::to_string(state.range(0)));
}
BENCHMARK(BM_AssembleOrgChain)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
