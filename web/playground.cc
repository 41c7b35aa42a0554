// The playground's entry: the page's worker runs the programs' own code, in the current
// directory of the in-memory file system it keeps the program's files in.
#include <emscripten/emscripten.h>

#include <fstream>
#include <string>
#include <vector>

#include "driver.h"
#include "lint.h"
#include "lsp.h"

// Each runs one program as its command line would and returns its exit status; what it prints
// (the console, the findings, the server's messages) goes to the file named `to`.
extern "C" {

EMSCRIPTEN_KEEPALIVE int playground_wendrix(const char* source, const char* to) {
  std::ofstream out(to, std::ios::binary);
  return run_wendrix({"wendrix", source}, out);
}

EMSCRIPTEN_KEEPALIVE int playground_lint(const char* source, const char* to) {
  std::ofstream out(to, std::ios::binary);
  return run_lint({"wendrix-lint", source}, out);
}

// The server answers a whole session read from the file `from`.
EMSCRIPTEN_KEEPALIVE int playground_lsp(const char* from, const char* to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  return serve_lsp(in, out);
}
}
