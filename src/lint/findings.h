// The checker's findings: where each stands in the editor's lines, the comments that turn one
// off, and how each is printed.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lint.h"
#include "model.h"

struct Finding {
  std::string file;
  int line;    // as the editor counts it, from 1
  int column;  // from 1
  LintSeverity severity;
  std::string message;
  const char* check;
};

// The findings of one run, with what decides which are kept.
struct Findings {
  const ProgramModel* model = nullptr;
  std::set<std::string> disabled;  // checks turned off by option
  std::vector<Finding> list;
  std::map<std::string, EditorText> outside;  // texts of files the model does not hold
};

// The text of a file as the editor shows it: the model's, or read once.
const EditorText& file_text(Findings& findings, const std::string& file);
// A finding at a place of a file's lines (column from 0).
void add_finding(Findings& findings, const std::string& file, EditorPlace place,
                 LintSeverity severity, const std::string& message, const char* check);
// A finding at a column of a piece of one of the model's files.
void add_at_piece(Findings& findings, int32_t file, int piece, int column, LintSeverity severity,
                  const std::string& message, const char* check);
// At a statement's piece; column -1 says the statement's mnemonic, else the column in the piece.
void add_at_statement(Findings& findings, const ModelStatement& s, int column,
                      LintSeverity severity, const std::string& message, const char* check);

// Sorted by file and line, each printed as FILE:LINE:COLUMN: SEVERITY: MESSAGE [CHECK] with an
// excerpt of its line and a caret.
void sort_findings(Findings& findings);
void print_finding(std::ostream& out, Findings& findings, const Finding& f);
extern const char* const kSeverityNames[3];

std::string hex(int64_t value);
std::string in_quotes(std::string_view text);
