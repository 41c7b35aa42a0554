// Diagnostics: the message texts, the report format, and the console runs write to.
#include "diag.h"

#include <iostream>

#include "source.h"
#include "symbols.h"

int current_error = E_NONE;
int error_symbol = 0;
bool errors_seen = false;

namespace {

// Indexed by ErrorCode; the static_assert below keeps it in step with the enum.
const char* const kMessages[] = {
    "",
    "invalid token",
    "missing expression",
    "mismatched parentheses",
    "invalid expression",
    "missing operator",
    "unary expression with 2 parameters",
    "bad include file",
    "too many nested include files",
    "can't open include file",
    "reserved word in expression",
    "symbol undefined",
    "divide by zero",
    "invalid org",
    "symbol already defined",
    "bad equ expression",
    "bad instruction",
    "bad arg",
    "target code page not same as source code page",
    "invalid DS statement",
    "target for call is in second half of code page",
    "code emitted at undefined address",
    "code emitted outside legal program memory",
    "code overlaps existing code",
    "__FUSE has not been defined",
    "__FUSEX has not been defined",
};
static_assert(sizeof(kMessages) / sizeof(kMessages[0]) == E_CODE_COUNT);

std::ostream* g_console = &std::cout;
ReportHandler g_handler = nullptr;

bool quotes_symbol(int code) {
  return code == E_SYMBOL_UNDEFINED || code == E_SYMBOL_REDEFINED;
}

void report(const char* prefix_tail, int show_line, int caret_column) {
  if (g_handler) {
    g_handler(Report{current_file_ref(), current_line_number(), show_line ? caret_column : -1,
                     *prefix_tail != '\0', current_error,
                     quotes_symbol(current_error) ? error_symbol : -1});
    return;
  }
  std::ostream& out = console();
  out << '[' << current_file_name() << " : " << current_line_number() << "] " << prefix_tail
      << error_message(current_error);
  if (quotes_symbol(current_error)) {
    out << " [" << symbol_name(error_symbol) << ']';
  }
  out << '\n';
  if (!show_line) return;
  const std::string& line = current_line();
  out << line << '\n';
  out << caret_line(line, caret_column) << '\n';
}

}  // namespace

std::string caret_line(const std::string& line, int column) {
  std::string caret;
  for (int i = 0; i < column && static_cast<size_t>(i) < line.size(); ++i) {
    caret += line[static_cast<size_t>(i)] == '\t' ? '\t' : ' ';
  }
  return caret + '^';
}

const char* error_message(int code) {
  if (code < 0 || code >= E_CODE_COUNT) return "";
  return kMessages[code];
}

void report_error(int show_line, int caret_column) {
  report("", show_line, caret_column);
}

void report_warning(int show_line, int caret_column) {
  report("WARNING - ", show_line, caret_column);
}

void report_at(const std::string* file, int line, int code) {
  set_position(file, line);
  report_here(code, 0, 0);
}

void warn_at(const std::string* file, int line, int code) {
  set_position(file, line);
  current_error = code;
  report_warning(0, 0);
}

void report_here(int code, int show_line, int caret_column) {
  current_error = code;
  report_error(show_line, caret_column);
  errors_seen = true;
}

void set_report_handler(ReportHandler handler) {
  g_handler = handler;
}

void set_console(std::ostream* out) {
  g_console = out ? out : &std::cout;
}

std::ostream& console() {
  return *g_console;
}

void fatal_stop(int status) {
  throw FatalStop{status};
}

void diag_reset() {
  current_error = E_NONE;
  error_symbol = 0;
  errors_seen = false;
}
