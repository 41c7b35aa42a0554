// wendrix-lsp: a language server that checks a program with wendrix-lint's passes and answers an
// editor's questions from the program's own instruction set.
#pragma once

#include <iosfwd>
#include <string>

enum MessageRead { MESSAGE_READ, MESSAGE_MALFORMED, MESSAGE_END };

// Reads one message of the protocol's framing (headers, an empty line, then as many bytes as
// Content-Length says). MESSAGE_MALFORMED: the headers had no usable Content-Length (they are
// consumed, the body is not); MESSAGE_END: the input ended.
MessageRead read_message(std::istream& in, std::string& body);

// Answers one client on `in` and `out` until it says exit or its input ends; returns the exit
// status (0 after a shutdown request, 1 otherwise).
int serve_lsp(std::istream& in, std::ostream& out);
