// Semantic tokens: each line of a file classified as the assembler reads it.
#pragma once

#include "lsp/workspace.h"

// The token types, in the legend's order.
extern const char* const kTokenTypes[7];
// Modifiers, as bits in the legend's order: a symbol where it is defined; a constant.
extern const char* const kTokenModifiers[2];
json semantic_tokens(const Server& server, const Program& p, const std::string& path);
