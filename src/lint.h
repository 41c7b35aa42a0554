// wendrix-lint: runs the assembler's passes without writing a file, and reports what they
// report, with reasons and columns, beside its own checks for likely mistakes, in the
// FILE:LINE:COLUMN format that editors and CI read.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Runs the checker on an argument vector (element 0: the program's path) and returns its exit
// status: 0 with nothing worse than notes, 1 with a warning or an error, 2 when it cannot run.
int run_lint(const std::vector<std::string>& args, std::ostream& out);
