// Runs the whole assembler in-process on a fuzzed instruction set and source, then the checker
// on the same files.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "driver.h"
#include "fuzz_input.h"
#include "lint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input::home();
  fuzz_input::enter(data, size);
  std::ostringstream console;
  int status = run_wendrix({"/nonexistent/wendrix", "t"}, console);
  std::ostringstream findings;
  int lint_status = run_lint({"/nonexistent/wendrix-lint", "t"}, findings);
  fuzz_input::leave();
  if (lint_status < 0 || lint_status > 2) std::abort();
  if (status != 0 && status != 1) std::abort();
  // Success always ends with the same words, and a stop never claims it.
  const std::string out = console.str();
  bool done = out.size() >= 8 && out.compare(out.size() - 8, 8, "\n\nDone.\n") == 0;
  if (done != (status == 0)) std::abort();
  return 0;
}
