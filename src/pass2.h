// Pass 2: resolves equ values, addresses, labels and operands to a fixed point, checks that
// everything resolved, reads the configuration words, and writes the output files.
#pragma once

#include <string>

// Carries the run to its end: returns after "Done." or stops the run with status 1.
void run_pass2(const std::string& base_name);
