// The checker's findings: placing, keeping or turning off, sorting and printing them.
#include "lint/findings.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

const char* const kSeverityNames[3] = {"note", "warning", "error"};

namespace {

// Names that `; wendrix-lint: ignore NAME` turns off on an editor line.
bool ignored(Findings& findings, const Finding& f) {
  std::string_view line = file_text(findings, f.file).line(f.line);
  const std::string_view marker = "wendrix-lint: ignore";
  size_t at = line.find(marker);
  if (at == std::string_view::npos) return false;
  std::string names(line.substr(at + marker.size()));
  for (char& c : names) c = c == ',' ? ' ' : c;
  return (" " + names + " ").find(" " + std::string(f.check) + " ") != std::string::npos;
}

}  // namespace

const EditorText& file_text(Findings& findings, const std::string& file) {
  if (findings.model) {
    int32_t index = model_file(*findings.model, file);
    if (index >= 0) return findings.model->files[static_cast<size_t>(index)].text;
  }
  auto [it, fresh] = findings.outside.try_emplace(file);
  if (fresh) read_editor_text(file, it->second);
  return it->second;
}

void add_finding(Findings& findings, const std::string& file, EditorPlace place,
                 LintSeverity severity, const std::string& message, const char* check) {
  // An error is never turned off, by option or by comment.
  bool may_hide = severity != LINT_ERROR;
  if (may_hide && findings.disabled.count(check)) return;
  Finding f{file, std::max(place.line, 1), std::max(place.column, 0) + 1, severity, message, check};
  if (!may_hide || !ignored(findings, f)) findings.list.push_back(std::move(f));
}

void add_at_piece(Findings& findings, int32_t file, int piece, int column, LintSeverity severity,
                  const std::string& message, const char* check) {
  const ProgramModel& model = *findings.model;
  std::string name = file >= 0 ? model.files[static_cast<size_t>(file)].name : "";
  EditorPlace place = piece_place(model, file, piece, column);
  // A file that cannot be read, or a report before its first line: its start.
  if (file < 0 || !model.files[static_cast<size_t>(file)].readable || piece < 1) {
    place = {std::max(piece, 1), 0};
  }
  add_finding(findings, name, place, severity, message, check);
}

void add_at_statement(Findings& findings, const ModelStatement& s, int column,
                      LintSeverity severity, const std::string& message, const char* check) {
  if (column < 0) column = statement_texts(*findings.model, s).mnemonicColumn;
  add_at_piece(findings, s.file, s.piece, column, severity, message, check);
}

void sort_findings(Findings& findings) {
  std::stable_sort(findings.list.begin(), findings.list.end(),
                   [](const Finding& a, const Finding& b) {
                     return a.file != b.file ? a.file < b.file : a.line < b.line;
                   });
}

void print_finding(std::ostream& out, Findings& findings, const Finding& f) {
  out << f.file << ':' << f.line << ':' << f.column << ": " << kSeverityNames[f.severity] << ": "
      << f.message << " [" << f.check << "]\n";
  const EditorText& text = file_text(findings, f.file);
  if (static_cast<size_t>(f.line) > text.line_count()) return;
  std::string line(text.line(f.line));
  line.resize(std::min(line.size(), line.find('\0')));  // as the assembler reads it
  // A long line is shown as an excerpt of at most 160 characters around the column.
  const size_t kWindow = 80;
  size_t column = static_cast<size_t>(std::max(f.column - 1, 0));
  size_t from = column > kWindow ? column - kWindow : 0;
  std::string excerpt = from < line.size() ? line.substr(from, 2 * kWindow) : "";
  if (from > 0) excerpt = "..." + excerpt, column = column - from + 3;
  if (from + 2 * kWindow < line.size()) excerpt += "...";
  out << excerpt << '\n' << caret_line(excerpt, static_cast<int>(column)) << '\n';
}

std::string hex(int64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string in_quotes(std::string_view text) {
  return "'" + std::string(text) + "'";
}
