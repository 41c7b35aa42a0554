// The server's workspace: the editor's open documents, which program each file belongs to, and
// each program's model and findings, checked with the unsaved texts.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lint.h"
#include "lsp/protocol.h"

// A program as last checked: its model, and the findings of the checker on it.
struct Program {
  std::string source;  // the main source, absolute ("" for an instruction set without one)
  std::string dir;     // its directory: the model's names are relative to it
  std::string isa;     // the instruction set, absolute
  ProgramModel model;
  std::vector<std::string> paths;     // of the model's files, absolute
  std::vector<LintFinding> findings;  // their files absolute
};

struct Server {
  std::ostream* out = nullptr;
  bool initialized = false;
  bool shut_down = false;
  std::string root;
  std::map<std::string, std::string> documents;  // the open ones' texts, by absolute path
  std::map<std::string, std::unique_ptr<Program>> programs;  // by main source, absolute
  std::map<std::string, std::set<std::string>> published;    // by program: files with diagnostics
  // The program each file was found in, kept while no include line of an open file changes.
  std::map<std::string, std::string> program_of;
};

// A name as a path: relative names are taken from `dir`.
std::string absolute_in(const std::string& dir, const std::string& name);
std::string directory_of(const std::string& path);
std::string file_name_of(const std::string& path);
bool is_instruction_set(const std::string& path);

// The editor's text of a file: an open document's, else the file's (empty when it cannot be
// read: a directory, a device, a read that fails).
EditorText text_of(const Server& server, const std::string& path);
// The include lines of a text: when they change, the program a file belongs to may change too.
std::vector<std::string> include_lines(const std::string& text);

// The program of a file, checked afresh when asked to, or as last checked.
Program& program_for(Server& server, const std::string& path, bool fresh);
// Checks the program(s) of a file again and publishes their diagnostics.
void recheck(Server& server, const std::string& path);
// The model's file index of an absolute path, or -1.
int32_t file_index(const Program& p, const std::string& path);
