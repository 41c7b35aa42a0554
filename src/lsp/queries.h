// The editor's questions about a place in a file, answered from the program's model.
#pragma once

#include <optional>
#include <string>

#include "lsp/workspace.h"

// A place in a file as the editor names it (line and character from 0), with its line's text.
struct Place {
  std::string path;
  int line = 0, character = 0;
  std::string text;
};
// The place a request's parameters name, or nothing when they name none in the file's text.
std::optional<Place> place_of(const Server& server, const json& params);

// Which field of a line a position is in: 0 the label, 1 the mnemonic, 2 an operand, -1 a
// comment; `operand` gets the operand's index: the commas before the position.
int field_at(const std::string& line, int character, int& operand);

json hover(const Program& p, const Place& at);
json definition(const Program& p, const Place& at);
json references(const Program& p, const Place& at);
json completion(const Program& p, const Place& at);
// The symbols of a file, as the JSON text of the answer.
std::string document_symbols(const Program& p, const std::string& path);

json range(int line, int character, int length);
json location(const std::string& file, int line, int character = 0, int length = 0);
std::string hex3(int64_t value);
