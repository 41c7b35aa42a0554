// wendrix-dis's entry point: the source on standard output, messages on standard error.
#include <iostream>
#include <string>
#include <vector>

#include "dis/dis.h"

int main(int argc, char** argv) {
  return run_dis(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
