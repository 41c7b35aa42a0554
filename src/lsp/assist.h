// Help while writing: the forms of a mnemonic while its operands are typed, what a number is
// and whether it fits, the symbols of every program, and the instruction set's own lines.
#pragma once

#include "lsp/queries.h"

json signature_help(const Program& p, const Place& at);
// Hover on a number of an operand, or null where the place holds none.
json number_hover(const Program& p, const Place& at);
// Hover on a definition line of the instruction set.
json definition_hover(const Program& p, const Place& at);
json workspace_symbols(const Server& server, const std::string& query);
