// Pass 2: resolves equ values, addresses, labels and operands to a fixed point, checks that
// everything resolved, reads the configuration words, and writes the output files.
#pragma once

#include <cstdint>
#include <string>

// The configuration words, each cut to 12 bits.
struct ConfigWords {
  int32_t fuse = 0;
  int32_t fusex = 0;
};

// Gives every equ symbol, statement address, label and operand tree its value, reports what is
// left without one, and reads __FUSE and __FUSEX. Returns only when nothing was reported; any
// error stops the run with status 1.
ConfigWords resolve_symbols();
using Resolver = ConfigWords (*)();

// Carries the run to its end: returns after "Done." or stops the run with status 1. `resolve`
// is resolve_symbols except where a check runs another resolver beside it.
void run_pass2(const std::string& base_name, Resolver resolve = resolve_symbols);
