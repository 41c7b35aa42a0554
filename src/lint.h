// wendrix-lint: runs the assembler's passes without writing a file, and reports what they
// report, with reasons and columns, beside its own checks for likely mistakes, in the
// FILE:LINE:COLUMN format that editors and CI read.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "model.h"

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

// How a model was asked for, and which of the checks that are off by default are on.
struct LintSettings {
  std::string inst;       // the instruction set named instead of the one wendrix finds
  std::string source;     // the argument naming the source
  bool fragment = false;  // an include file checked alone, without its program
  bool unused = false;
};

// Every finding of the checker on a program model, sorted by file and line, the files named as
// the model names them.
std::vector<LintFinding> lint_findings(const ProgramModel& model, const LintSettings& settings);

// Runs the checker on an argument vector (element 0: the program's path) and returns its exit
// status: 1 when there is an error (or, with --werror, a warning), 0 otherwise, 2 for a usage
// error.
int run_lint(const std::vector<std::string>& args, std::ostream& out);
