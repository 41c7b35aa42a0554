// The editor's changes to a program: renaming a symbol across its files, and the fixes the
// checker knows for its findings.
#pragma once

#include "lsp/queries.h"

// The range of the symbol under a place, with its name; null where nothing can be renamed (a
// mnemonic, a directive, a literal operand, a number, a comment).
json prepare_rename(const Program& p, const Place& at);
// Every occurrence of the symbol in the program's files, as a WorkspaceEdit. Throws
// std::invalid_argument for a new name that is no name or is already taken.
json rename_symbol(const Program& p, const Place& at, const std::string& new_name);
// The fixes for the diagnostics an editor hands back with a range of a file.
json code_actions(const Server& server, const Program& p, const std::string& path,
                  const json& diagnostics);
