// wendrix's entry point.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "driver.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  int status = run_wendrix(args, std::cout);
  std::cout.flush();
  // Every file is closed and the console flushed; tearing down the program's tables one by
  // one would only delay the exit (on a 131,072-statement source, 52 million instructions and
  // tens of milliseconds).
  std::_Exit(status);
}
