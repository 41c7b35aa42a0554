// The checker's checks on the instruction set: definitions that load but are likely mistakes.
#pragma once

#include "lint/findings.h"

// Every check on the model's instruction set, and why a local inst.dat was passed over.
void check_instruction_set(const ProgramModel& model, Findings& findings);
