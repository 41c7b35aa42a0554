// One whole run of the assembler.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "pass2.h"

// Runs the assembler on an argument vector (element 0: the program's path, element 1: the
// source), writing console text to `out`, and returns the exit status. A stop ends the run,
// never the calling process. `resolve` is pass 2's resolver (see run_pass2).
int run_wendrix(const std::vector<std::string>& args, std::ostream& out,
                Resolver resolve = resolve_symbols);

// Forgets everything an earlier run left: statements, expression trees, reports, symbols. Both
// programs start each run with it.
void reset_run();
// The base name a source argument gives: lower-cased, cut at its first ".asm".
std::string base_name_of(const std::string& argument);
// Where the second instruction-set file is looked for, given the program's path.
std::string second_instruction_path(const std::string& invocation_path);
// Loads inst.dat from the working directory, else from the second path; returns the path that
// loaded, or "" when neither did. `local` gets why the working directory's failed, if it did.
struct LoadFailure;
std::string load_instruction_set(const std::string& invocation_path, LoadFailure* local = nullptr);
// The passes over an open source, as wendrix runs them: pass 1, then, when it reported no error,
// pass 2. With `outputs` (the base name) pass 2 writes the listing and hex file; without (a
// tool), it resolves and encodes code memory as the listing would, writing nothing. Returns
// whether pass 2 ran; a stop (a read that fails, an error of pass 2) ends it by FatalStop.
bool run_passes(const std::string* outputs, Resolver resolve = resolve_symbols);
// Opens the source an argument names (the base name with ".asm", else the name as written) and
// returns the base name that names the outputs (which may be empty: ".asm" is a source), or
// nothing when it cannot be opened.
std::optional<std::string> open_main_source(const std::string& argument);
