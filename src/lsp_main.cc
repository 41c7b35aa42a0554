// wendrix-lsp's entry point: the protocol on standard input and output.
#include <iostream>

#include "lsp.h"

int main() {
  std::ios::sync_with_stdio(false);
  return serve_lsp(std::cin, std::cout);
}
