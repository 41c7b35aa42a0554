// wendrix-dis: a hex file read back into a Wendrix source that assembles to the same file, or
// into a listing for reading, from the same inst.dat that wendrix assembles with.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "dis/hex.h"
#include "isa.h"

// The names to give code addresses (a label of the original program), by address.
using AddressNames = std::map<int32_t, std::string>;

// Writes the source (or, with `listing`, the listing) of an image to `out`; false, with the
// reason in `error` and nothing written, when a word has no definition or a configuration word
// does not fit 12 bits.
bool disassemble(const InstructionSet& set, const MemoryImage& image, const AddressNames& names,
                 bool listing, const std::string& heading, std::string& out, std::string& error);

// The labels of a listing's Code section (`NAME` at `[ADDR]`), or of a file of lines
// `NAME ADDRESS` (a number as wendrix reads it: $1F, 0x1f, 31).
AddressNames read_symbols(const std::string& text);

// The program: options, files, exit status (0; 1 when the image cannot be read or decoded; 2 for
// a usage error). The source goes to `out`, messages to `err`.
int run_dis(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
