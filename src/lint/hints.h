// What to write instead, where a report of the assembler meets a habit of another assembler.
#pragma once

#include <string>

#include "isa.h"
#include "source.h"

// The hint for a report of `code` on a line split as `s`, or "": another assembler's spelling,
// or the names of the instruction set a mistyped mnemonic may have meant.
std::string habit_hint(int code, const SplitLine& s, const InstructionSet& set);
