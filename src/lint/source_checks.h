// The checker's checks on the program's source and on what the passes made of it.
#pragma once

#include <set>
#include <string>

#include "lint/findings.h"
#include "lint/pages.h"

struct SourceCheckOptions {
  bool unused = false;                     // the unused check is on
  const std::set<int>* symbols_in_errors;  // names an error is already about
};

// Every check over the program: its lines as the assembler splits them, the operands against
// their fields, the configuration words, unused names, code after ds, an empty start.
void check_program(const ProgramModel& model, const PageSelection& declared,
                   const SourceCheckOptions& options, Findings& findings);
