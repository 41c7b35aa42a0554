// Source input: the line reader shared by every text file, the include stack with the position
// that diagnostics quote, and the splitter that cuts a line into label, mnemonic and operands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Letter case, wherever the language ignores it (mnemonics, literal operands, directives,
// "#include", the page-rule names): only A to Z fold; every other byte stays as it is.
inline char fold_case(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string fold_case(std::string_view text);
inline bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold_case(a[i]) != fold_case(b[i])) return false;
  }
  return true;
}

// Characters of names and numbers, and two of the white-space sets below, in ASCII only, looked
// up in one table of class bits.
enum CharClass : uint8_t {
  CHAR_DIGIT = 1,
  CHAR_LETTER = 2,
  CHAR_UNDERSCORE = 4,
  CHAR_BLANK = 8,              // the splitter's white space
  CHAR_EXPRESSION_SPACE = 16,  // the tokenizer's
};
struct CharClasses {
  uint8_t bits[256] = {};
  constexpr CharClasses() {
    for (int c = '0'; c <= '9'; ++c) bits[c] = CHAR_DIGIT;
    for (int c = 'a'; c <= 'z'; ++c) bits[c] = bits[c - 'a' + 'A'] = CHAR_LETTER;
    bits[static_cast<unsigned char>('_')] = CHAR_UNDERSCORE;
    for (char c : {' ', '\t'}) bits[static_cast<unsigned char>(c)] |= CHAR_BLANK;
    for (char c : {' ', '\t', '\r', '\n'})
      bits[static_cast<unsigned char>(c)] |= CHAR_EXPRESSION_SPACE;
  }
};
inline constexpr CharClasses kCharClasses;
inline bool has_class(char c, unsigned classes) {
  return (kCharClasses.bits[static_cast<unsigned char>(c)] & classes) != 0;
}
inline bool is_digit(char c) {
  return has_class(c, CHAR_DIGIT);
}
inline bool is_letter(char c) {
  return has_class(c, CHAR_LETTER);
}
// 0 to 9 for the digits, 10 to 35 for a/A to z/Z, -1 for anything else.
inline int digit_value(char c) {
  if (is_digit(c)) return c - '0';
  if (is_letter(c)) return fold_case(c) - 'a' + 10;
  return -1;
}
inline bool is_hex_digit(char c) {
  return static_cast<unsigned>(digit_value(c)) < 16u;
}
inline bool is_name_start(char c) {
  return has_class(c, CHAR_LETTER | CHAR_UNDERSCORE);
}
inline bool is_name_char(char c) {
  return has_class(c, CHAR_LETTER | CHAR_UNDERSCORE | CHAR_DIGIT);
}
// Where `name` next stands in `text` at or after `from` as a whole name (no name character
// right before or after it), or npos.
inline size_t find_name(std::string_view text, std::string_view name, size_t from = 0) {
  for (size_t at = text.find(name, from); at != std::string_view::npos;
       at = text.find(name, at + 1)) {
    bool starts = at == 0 || !is_name_char(text[at - 1]);
    bool ends = at + name.size() == text.size() || !is_name_char(text[at + name.size()]);
    if (starts && ends) return at;
  }
  return std::string_view::npos;
}

// White space is not one set: each reader keeps the one its format was defined with.
//   splitter (label, mnemonic, operand fields):  blank, tab
//   include-line scan (formatted "%s" scan):     blank, tab, LF, VT, FF, CR
//   inst.dat tokens:                             tab, LF, blank
//   expression tokenizer:                        blank, tab, CR, LF
inline bool is_split_blank(char c) {
  return has_class(c, CHAR_BLANK);
}
inline bool is_scan_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool is_definition_separator(char c) {
  return c == '\t' || c == '\n' || c == ' ';
}
inline bool is_expression_space(char c) {
  return has_class(c, CHAR_EXPRESSION_SPACE);
}

enum LineRead { READ_LINE, READ_END, READ_ERROR };

// A text file being read, through a buffer of its own.
struct TextFile {
  std::FILE* stream = nullptr;
  // Not zeroed when made: only the bytes a read filled are ever looked at.
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;
  size_t position = 0;  // next byte of the buffer to hand out
  size_t filled = 0;    // bytes in the buffer
  size_t nul = 0;       // the first NUL of the buffer at or after `position`, or `filled`
  bool failed = false;  // a read failed for a reason other than the end of the file
  size_t taken = 0;     // bytes the last piece took from the file
  bool ended = false;   // the last piece ended its line (a line feed was read)
  TextFile() = default;
  TextFile(const TextFile&) = delete;  // it owns its stream
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile();
};

// Opens a file for reading; nullptr when it cannot be opened or is not a regular file (a
// directory, a FIFO or a device counts as one that cannot be opened).
std::unique_ptr<TextFile> open_text_file(const std::string& path);
// Texts that stand in for files: an editor's unsaved buffers. Given a path as the reader is
// asked to open it, the text to read instead, or nullptr to read the file. None by default.
using FileOverlay = std::function<const std::string*(const std::string& path)>;
void set_file_overlay(FileOverlay overlay);

// Reads the next piece of a line: at most max_chars characters, up to and including the first
// line feed. Every line-end rule lives here: a final line without a line feed counts, a
// carriage return before the line feed (or ending the file) is dropped, and a NUL ends the
// text of its line while the bytes after it still count towards the piece.
LineRead read_text_line(TextFile& file, size_t max_chars, std::string& line);

// Where the pieces a reader cuts a file into stand in the file's lines as an editor shows them
// (lines from 1, columns as byte offsets from 0). Nearly every line is one piece: only the
// pieces that continue a line longer than a piece are kept.
struct EditorPlace {
  int line = 1;
  int column = 0;
};
struct SourceMap {
  struct Continuation {
    int32_t piece;   // its number among the file's pieces, from 1
    int32_t offset;  // where it starts in its line
  };
  std::vector<Continuation> continuations;
  int32_t pieces = 0;
  bool midLine = false;  // the last piece did not end its line
  int32_t offset = 0;    // where the next piece starts in its line
  // Counts the piece just read from `file`.
  void note(const TextFile& file) {
    ++pieces;
    if (!midLine && file.ended) return;  // nearly every line: one whole piece
    if (midLine) continuations.push_back({pieces, offset});
    offset = midLine ? offset + static_cast<int32_t>(file.taken) : static_cast<int32_t>(file.taken);
    midLine = !file.ended;
  }
};
// The editor's place of a column of a piece; a piece the map has not seen is placed as if every
// piece after the last one seen were a line of its own.
EditorPlace editor_place(const SourceMap& map, int piece, int column);
// The inverse: the piece that holds a place of a line, and the place's column in it.
int piece_of(const SourceMap& map, EditorPlace place, int& column_in_piece);

// A file's text as an editor shows it: lines cut at each line feed, a carriage return before it
// (or at the very end) not part of the line.
struct EditorText {
  std::string text;
  std::vector<uint32_t> starts;  // of each line in `text`
  size_t line_count() const { return starts.size(); }
  // Line `number` (from 1), or "" beyond the last.
  std::string_view line(int number) const;
};
// The pieces a text is read in, pieces of at most `piece_chars` characters, as read_text_line
// cuts them: a tool completes with it the map of a file that the passes stopped reading early.
SourceMap map_pieces(const EditorText& text, size_t piece_chars);
// A text's lines as an editor shows them.
EditorText make_editor_text(std::string text);
// Reads a file whole, as the reader would open it (an editor's unsaved text first); false when
// it cannot be opened or read (the text is then empty).
bool read_editor_text(const std::string& path, EditorText& out);

constexpr int kMaxIncludeDepth = 16;
constexpr size_t kSourcePieceChars = 1022;
constexpr int kMaxOperands = 16;

// Whether a line is an include line and, if it is, the name it opens.
enum IncludeLine { INCLUDE_NONE, INCLUDE_FILE, INCLUDE_BAD };
IncludeLine parse_include_line(const std::string& line, std::string& name);

int open_source(const std::string& path);
// 0: a statement line was read and split; 1: the main source ended or an include line failed
// (then current_error tells which).
int read_statement();
void close_sources();
void source_reset();

// Position state.
const std::string& current_file_name();
const std::string* current_file_ref();
// The current file's entry in the file-name table (source_file_name).
int32_t current_file_index();
int current_line_number();
const std::string& current_line();
// Pass 2 points the position at a stored statement before it reports about it.
void set_position(const std::string* file_name, int line_number);
// An entry of the file-name table (0 is the main source), or nullptr.
const std::string* source_file_name(size_t index);
// Where the pieces of a file-name table entry lie in its lines, or nullptr.
const SourceMap* source_map(size_t index);
// A directory that names given relative to it are opened from (default: the working
// directory), so that a tool can check a program in any directory without moving there.
void set_base_directory(const std::string& directory);
// A name as it is opened: relative to the base directory, unless it is absolute.
std::string opened_path(const std::string& name);

// Splitter results for the last line read. The fields are views into the splitter's own copy
// of the line, where a NUL follows each field, so that an operand can be read as a C string; they
// stay valid until the next split.
struct SplitLine {
  std::string_view label;
  std::string_view mnemonic;
  std::string_view operands[kMaxOperands];
  int operandCount = 0;
  int operandColumns[kMaxOperands] = {};
  int droppedColumn = -1;  // where a field beyond the 16th starts, which is dropped; -1: none
};
const SplitLine& split_result();
// Cuts the comment off `line` in place and fills the split results.
void split_line(std::string& line);
