#include <iostream>
#include <string>
#include <vector>

#include "driver.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  return run_wendrix(args, std::cout);
}
