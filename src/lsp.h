// wendrix-lsp: a language server that checks a program with wendrix-lint's passes and answers an
// editor's questions from the program's own instruction set.
#pragma once

#include <iosfwd>

// Answers one client on `in` and `out` until it says exit or its input ends; returns the exit
// status (0 after a shutdown request, 1 otherwise).
int serve_lsp(std::istream& in, std::ostream& out);
