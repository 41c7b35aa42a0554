// Error codes, their messages, and the one console format every diagnostic uses.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

enum ErrorCode : int {
  E_NONE = 0,
  E_INVALID_TOKEN,
  E_MISSING_EXPRESSION,
  E_MISMATCHED_PARENS,
  E_INVALID_EXPRESSION,
  E_MISSING_OPERATOR,
  E_UNARY_TWO_PARAMS,
  E_BAD_INCLUDE_FILE,
  E_TOO_MANY_INCLUDES,
  E_CANT_OPEN_INCLUDE,
  E_RESERVED_WORD,
  E_SYMBOL_UNDEFINED,
  E_DIVIDE_BY_ZERO,
  E_INVALID_ORG,
  E_SYMBOL_REDEFINED,
  E_BAD_EQU,
  E_BAD_INSTRUCTION,
  E_BAD_ARG,
  E_PAGE_MISMATCH,
  E_INVALID_DS,
  E_CALL_SECOND_HALF,
  E_UNDEFINED_ADDRESS,
  E_OUTSIDE_MEMORY,
  E_CODE_OVERLAP,
  E_FUSE_UNDEFINED,
  E_FUSEX_UNDEFINED,
  E_CODE_COUNT  // keeps error_message's table in step with this list
};

// Text of a code's message; "" for E_NONE and for anything out of range.
const char* error_message(int code);

// The pending error, set by the code that detects a problem and read by the reports.
extern int current_error;
// Symbol quoted by E_SYMBOL_UNDEFINED and E_SYMBOL_REDEFINED.
extern int error_symbol;
// Set by every caller that reports an error; tested by the driver between stages.
extern bool errors_seen;

// The caret line under a line: a caret under column `column` (from 0), with the line's tabs
// kept before it so that it lines up.
std::string caret_line(const std::string& line, int column);
// Prints the pending error (or warning) at the current file and line. With show_line set,
// the current line follows with its caret line.
void report_error(int show_line, int caret_column);
void report_warning(int show_line, int caret_column);

// The one report path of the passes and the encoder: points the position at a statement's file
// and line, sets the pending error to `code` and prints it without the line. report_at also
// sets errors_seen; warn_at never does.
void report_at(const std::string* file, int line, int code);
void warn_at(const std::string* file, int line, int code);
// An error at the line being read, with that line and a caret under caret_column.
void report_here(int code, int show_line, int caret_column);

// A report as a value, for a program that renders reports its own way. Without a handler,
// every report prints in the assembler's console format.
struct Report {
  const std::string* file;  // as the position state names it
  int line;
  int column;  // of the caret in the line, or -1 when the report has none
  bool warning;
  int code;
  int symbol;  // for E_SYMBOL_UNDEFINED and E_SYMBOL_REDEFINED, else -1
};
using ReportHandler = void (*)(const Report&);
void set_report_handler(ReportHandler handler);

// Where console text goes for this run.
void set_console(std::ostream* out);
std::ostream& console();

// A run that must stop: carries the exit status out to the driver, which is the only catcher.
// Using an exception keeps a stop from ending the process, so tests and fuzzers can run the
// assembler many times in one process.
struct FatalStop {
  int status;
};
[[noreturn]] void fatal_stop(int status);

void diag_reset();
