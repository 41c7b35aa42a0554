// wendrix-lint's entry point.
#include <iostream>
#include <string>
#include <vector>

#include "lint.h"

int main(int argc, char** argv) {
  return run_lint(std::vector<std::string>(argv, argv + argc), std::cout);
}
