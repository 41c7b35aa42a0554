// wendrix's entry point.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "driver.h"

int main(int argc, char** argv) {
  // A write past the file-size limit then fails like any other write (and is reported as
  // such) instead of killing the program with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv, argv + argc);
  int status = run_wendrix(args, std::cout);
  std::cout.flush();
  // Every file is closed and the console flushed; tearing down the program's tables one by
  // one would only delay the exit (on a 131,072-statement source, 52 million instructions and
  // tens of milliseconds).
  std::_Exit(status);
}
