// Drives the tokenizer, the parser and the evaluator on a fuzzed operand text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "diag.h"
#include "expr.h"
#include "symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Operand texts never exceed a line piece.
  if (size > 1023) size = 1023;
  std::string text(reinterpret_cast<const char*>(data), size);
  diag_reset();
  symbols_reset();
  expr_reset();
  int32_t column = 0;
  std::span<ExprToken> tokens = tokenize_expression(text.c_str(), column);
  if (column >= 0) {
    if (!tokens.empty() || current_error != E_INVALID_TOKEN ||
        static_cast<size_t>(column) >= text.size()) {
      std::abort();
    }
    return 0;
  }
  int32_t root = parse_expression(tokens, column);
  if (root == kNoTree) {
    if (column < 0 || current_error == E_NONE) std::abort();
    return 0;
  }
  // First with every symbol undefined, then with half of them known: the second walk resumes.
  evaluate_expression(root);
  for (int i = 0; i < symbol_count(); i += 2) {
    symbol_at(i).value = static_cast<int32_t>(0x9E3779B9u * static_cast<uint32_t>(i + 1));
    symbol_at(i).valueKnown = 1;
  }
  evaluate_expression(root);
  if (current_error == E_NONE && !expr_node(root).known) std::abort();
  evaluate_expression(root);
  return 0;
}
