// Runs the whole assembler in-process on a fuzzed instruction set and source.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "driver.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input::home();
  fuzz_input::enter(data, size);
  std::ostringstream console;
  int status = run_wendrix({"/nonexistent/wendrix", "t"}, console);
  fuzz_input::leave();
  if (status != 0 && status != 1) std::abort();
  // Success always ends with the same words, and a stop never claims it.
  const std::string out = console.str();
  bool done = out.size() >= 8 && out.compare(out.size() - 8, 8, "\n\nDone.\n") == 0;
  if (done != (status == 0)) std::abort();
  return 0;
}
