// The assembler's own reports, as findings with their reasons.
#pragma once

#include <set>

#include "lint/findings.h"

// Every report of the passes, as wendrix would print it, with why and what to do. The symbols
// an error is about go into `symbols_in_errors`. A fragment (an include file checked alone)
// leaves out the configuration words that its program defines.
void add_reports(const ProgramModel& model, Findings& findings, bool fragment,
                 std::set<int>& symbols_in_errors);

std::string page_text(int32_t address);
