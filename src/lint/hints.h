// What to write instead, where a report of the assembler meets a habit of another assembler.
#pragma once

#include <string>

#include "source.h"

// The hint for a report of `code` on a line split as `s`, or "".
std::string habit_hint(int code, const SplitLine& s);
