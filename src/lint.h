// wendrix-lint: runs the assembler's passes without writing a file, and reports what they
// report, with reasons and columns, beside its own checks for likely mistakes, in the
// FILE:LINE:COLUMN format that editors and CI read.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

enum LintSeverity { LINT_NOTE, LINT_WARNING, LINT_ERROR };

// A finding, as an editor places it: lines and columns from 1.
struct LintFinding {
  std::string file;
  int line = 1;
  int column = 1;
  LintSeverity severity = LINT_NOTE;
  std::string message;
  std::string check;
};

// Called once a run's checks are done, with its findings in order and the instruction set it
// loaded ("" for none), while the assembler's tables (statements, symbols, the instruction set,
// code memory) still describe the program.
using LintObserver = std::function<void(const std::vector<LintFinding>& findings,
                                        const std::string& instruction_set)>;

// Runs the checker on an argument vector (element 0: the program's path) and returns its exit
// status: 1 when there is an error (or, with --werror, a warning), 0 otherwise, 2 when it
// cannot run.
int run_lint(const std::vector<std::string>& args, std::ostream& out,
             const LintObserver& observe = {});
