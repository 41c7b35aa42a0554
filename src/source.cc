// The source reader: files and include nesting, lines in pieces, the splitter into fields.
#include "source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <ostream>

#include "blocks.h"
#include "diag.h"

namespace {

struct IncludeLevel {
  std::unique_ptr<TextFile> file;
  int savedLine = 0;
  int32_t nameIndex = 0;     // its name's entry in the file-name table
  SourceMap* map = nullptr;  // beside that name
};

IncludeLevel g_levels[kMaxIncludeDepth];
int g_depth = 0;
// Names stay put for the whole run: every statement refers to the name of its file.
std::deque<std::string> g_file_names;
std::deque<SourceMap> g_maps;  // beside each name
const std::string kNoFile;
const std::string* g_file = &kNoFile;
int32_t g_file_index = 0;
int g_line_number = 0;
std::string g_line;
SplitLine g_split;
std::string g_fields;  // the splitter's copy of the line

// The first two words of a line, as "%s %s" would scan them; false when there are not two.
bool scan_two_words(const std::string& line, std::string& first, std::string& second) {
  size_t i = 0, n = line.size();
  std::string* words[2] = {&first, &second};
  for (std::string* word : words) {
    while (i < n && is_scan_space(line[i])) ++i;
    if (i == n) return false;
    size_t start = i;
    while (i < n && !is_scan_space(line[i])) ++i;
    word->assign(line, start, i - start);
  }
  return true;
}

constexpr size_t kReadBuffer = 1 << 16;

// Texts rarely hold a NUL: one look per buffer, and another only past each NUL found, spares
// every line a look of its own.
size_t find_nul(const TextFile& f, size_t from) {
  const void* nul = std::memchr(f.buffer.get() + from, '\0', f.filled - from);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - f.buffer.get()) : f.filled;
}

// Makes bytes available; false at the end of the file or after a failed read.
bool fill(TextFile& f) {
  if (f.position < f.filled) return true;
  if (f.failed || !f.stream) return false;  // no stream: a text held whole, now read
  f.position = 0;
  f.filled = std::fread(f.buffer.get(), 1, f.capacity, f.stream);
  if (f.filled == 0 && std::ferror(f.stream)) f.failed = true;
  f.nul = find_nul(f, 0);
  return f.filled > 0;
}

// Where the text before the comment ends: at the first line feed, ';' or "//". One scan for
// the three characters; a NUL inside the text (the reader never leaves one) is passed over.
size_t comment_start(const std::string& line) {
  const char* text = line.c_str();
  for (size_t i = std::strcspn(text, "\n;/"); i < line.size();
       i += 1 + std::strcspn(text + i + 1, "\n;/")) {
    if (text[i] == '\n' || text[i] == ';') return i;
    if (text[i] == '/' && text[i + 1] == '/') return i;
  }
  return line.size();
}

[[noreturn]] void read_failed(const std::string& name) {
  console() << "error reading [" << name << "]\n";
  fatal_stop(1);
}

}  // namespace

std::string fold_case(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = fold_case(c);
  return out;
}

TextFile::~TextFile() {
  if (stream) std::fclose(stream);
}

LineRead read_text_line(TextFile& f, size_t max_chars, std::string& line) {
  line.clear();
  size_t count = 0;  // characters read, a NUL and what follows it included
  bool cut = false;  // a NUL was met: the rest of the piece is read but not kept
  bool line_feed = false;
  while (count < max_chars) {
    if (!fill(f)) break;
    const char* start = f.buffer.get() + f.position;
    size_t window = std::min(f.filled - f.position, max_chars - count);
    const char* feed = static_cast<const char*>(std::memchr(start, '\n', window));
    size_t take = feed ? static_cast<size_t>(feed - start) + 1 : window;
    if (!cut) {
      if (f.nul < f.position) f.nul = find_nul(f, f.position);
      cut = f.nul < f.position + take;
      line.append(start, cut ? f.nul - f.position : take);
    }
    f.position += take;
    count += take;
    if (feed) {
      line_feed = true;
      break;
    }
  }
  f.taken = count;
  f.ended = line_feed;
  if (f.failed) return READ_ERROR;
  if (count == 0) return READ_END;
  if (!cut) {
    size_t n = line.size();
    if (line_feed) {
      if (n >= 2 && line[n - 2] == '\r') line.erase(n - 2, 1);
    } else if (n > 0 && line[n - 1] == '\r') {
      // The file ends right after it, or the piece is full and a line feed comes next.
      if (!fill(f) || f.buffer[f.position] == '\n') line.pop_back();
      if (f.failed) return READ_ERROR;
    }
  }
  return READ_LINE;
}

namespace {
FileOverlay g_overlay;
std::string g_base_directory;  // "": the working directory
}  // namespace

void set_file_overlay(FileOverlay overlay) {
  g_overlay = std::move(overlay);
}

void set_base_directory(const std::string& directory) {
  g_base_directory = directory;
}

std::string opened_path(const std::string& name) {
  if (g_base_directory.empty() || name.starts_with('/')) return name;
  return g_base_directory + "/" + name;
}

EditorPlace editor_place(const SourceMap& map, int piece, int column) {
  // Continuations before the piece each joined a line to the one before it.
  auto after =
      std::upper_bound(map.continuations.begin(), map.continuations.end(), piece,
                       [](int n, const SourceMap::Continuation& c) { return n < c.piece; });
  int joined = static_cast<int>(after - map.continuations.begin());
  EditorPlace place{piece - joined, std::max(column, 0)};
  if (after != map.continuations.begin() && (after - 1)->piece == piece) {
    place.column += (after - 1)->offset;
  }
  return place;
}

int piece_of(const SourceMap& map, EditorPlace place, int& column_in_piece) {
  // Continuation i lies on line piece - (i + 1): lines never go down along the list.
  const std::vector<SourceMap::Continuation>& c = map.continuations;
  auto line_of = [&c](size_t i) { return c[i].piece - static_cast<int>(i) - 1; };
  size_t first = 0, end = c.size();
  while (first < end) {
    size_t mid = (first + end) / 2;
    if (line_of(mid) < place.line)
      first = mid + 1;
    else
      end = mid;
  }
  int piece = place.line + static_cast<int>(first);
  column_in_piece = place.column;
  for (size_t i = first; i < c.size() && line_of(i) == place.line && c[i].offset <= place.column;
       ++i) {
    piece = c[i].piece;
    column_in_piece = place.column - c[i].offset;
  }
  return piece;
}

std::string_view EditorText::line(int number) const {
  if (number < 1 || static_cast<size_t>(number) > starts.size()) return {};
  size_t start = starts[static_cast<size_t>(number) - 1];
  size_t end = static_cast<size_t>(number) < starts.size() ? starts[static_cast<size_t>(number)]
                                                           : text.size();
  if (end > start && text[end - 1] == '\n') --end;
  if (end > start && text[end - 1] == '\r') --end;
  return std::string_view(text).substr(start, end - start);
}

SourceMap map_pieces(const EditorText& text, size_t piece_chars) {
  SourceMap map;
  for (size_t i = 0; i < text.starts.size(); ++i) {
    // The bytes of the line, its line feed included: each piece takes at most piece_chars.
    size_t end = i + 1 < text.starts.size() ? text.starts[i + 1] : text.text.size();
    size_t bytes = end - text.starts[i];
    ++map.pieces;
    for (size_t offset = piece_chars; offset < bytes; offset += piece_chars) {
      map.continuations.push_back({++map.pieces, static_cast<int32_t>(offset)});
    }
  }
  return map;
}

EditorText make_editor_text(std::string text) {
  EditorText out;
  out.text = std::move(text);
  if (!out.text.empty()) out.starts.push_back(0);
  for (size_t at = out.text.find('\n'); at != std::string::npos; at = out.text.find('\n', at + 1)) {
    if (at + 1 < out.text.size()) out.starts.push_back(static_cast<uint32_t>(at + 1));
  }
  return out;
}

bool read_editor_text(const std::string& path, EditorText& out) {
  out = EditorText{};
  std::unique_ptr<TextFile> file = open_text_file(path);
  if (!file) return false;
  std::string text;
  for (; fill(*file); file->position = file->filled) {
    text.append(file->buffer.get() + file->position, file->filled - file->position);
  }
  if (file->failed) return false;
  out = make_editor_text(std::move(text));
  return true;
}

std::unique_ptr<TextFile> open_text_file(const std::string& name) {
  if (const std::string* text = g_overlay ? g_overlay(name) : nullptr) {
    auto file = std::make_unique<TextFile>();
    file->buffer = uninitialized_array<char>(text->size());
    std::copy(text->begin(), text->end(), file->buffer.get());
    file->capacity = file->filled = text->size();
    file->nul = find_nul(*file, 0);
    return file;
  }
  // Opened without blocking, so that a FIFO with no writer cannot hold the open; only a
  // regular file is read at all (a directory, a FIFO or a device counts as a file that cannot be
  // opened: a device such as /dev/zero never ends).
  std::string path = opened_path(name);
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
    close(fd);
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, "r");
  if (!stream) {
    close(fd);
    return nullptr;
  }
  auto file = std::make_unique<TextFile>();
  file->stream = stream;
  file->buffer = uninitialized_array<char>(kReadBuffer);
  file->capacity = kReadBuffer;
  return file;
}

int open_source(const std::string& path) {
  source_reset();
  std::unique_ptr<TextFile> file = open_text_file(path);
  if (!file) return 1;
  g_file_names.push_back(path);
  g_levels[0] = IncludeLevel{std::move(file), 0, 0, &g_maps.emplace_back()};
  g_file = &g_file_names.back();
  g_file_index = 0;
  g_line_number = 0;
  return 0;
}

IncludeLine parse_include_line(const std::string& line, std::string& name) {
  // Most lines are not include lines: their first word does not start with '#'.
  size_t first = 0;
  while (is_scan_space(line[first])) ++first;  // stops at the NUL after the line at the latest
  if (line[first] != '#') return INCLUDE_NONE;
  std::string keyword, word;
  if (!scan_two_words(line, keyword, word) || !same_ignoring_case(keyword, "#include")) {
    return INCLUDE_NONE;
  }
  if (word[0] == '"' && word.back() == '"') {
    name = word.size() >= 2 ? word.substr(1, word.size() - 2) : std::string();
  } else if (word[0] == '<' && word.back() == '>' && word.size() >= 2) {
    // There is no include search path: the name between the brackets is opened as written.
    name = word.substr(1, word.size() - 2);
  } else {
    return INCLUDE_BAD;
  }
  return INCLUDE_FILE;
}

int read_statement() {
  for (;;) {
    IncludeLevel& level = g_levels[g_depth];
    LineRead got = read_text_line(*level.file, kSourcePieceChars, g_line);
    // An endless input (a device) must not overflow the count: it wraps like every int here.
    g_line_number = static_cast<int>(static_cast<unsigned>(g_line_number) + 1u);
    if (got == READ_ERROR) read_failed(*g_file);
    if (got == READ_LINE) level.map->note(*level.file);
    if (got == READ_END) {
      if (g_depth == 0) return 1;
      level.file.reset();
      --g_depth;
      g_file_index = g_levels[g_depth].nameIndex;
      g_file = &g_file_names[static_cast<size_t>(g_file_index)];
      g_line_number = g_levels[g_depth].savedLine;
      continue;
    }
    std::string name;
    IncludeLine include = parse_include_line(g_line, name);
    if (include == INCLUDE_NONE) {
      split_line(g_line);
      return 0;
    }
    if (include == INCLUDE_BAD) {
      current_error = E_BAD_INCLUDE_FILE;
      return 1;
    }
    if (g_depth == kMaxIncludeDepth - 1) {
      current_error = E_TOO_MANY_INCLUDES;
      return 1;
    }
    level.savedLine = g_line_number;
    std::unique_ptr<TextFile> file = open_text_file(name);
    if (!file) {
      current_error = E_CANT_OPEN_INCLUDE;
      return 1;
    }
    g_file_names.push_back(name);
    ++g_depth;
    g_file_index = static_cast<int32_t>(g_file_names.size() - 1);
    g_levels[g_depth] = IncludeLevel{std::move(file), 0, g_file_index, &g_maps.emplace_back()};
    g_file = &g_file_names.back();
    g_line_number = 0;
  }
}

void close_sources() {
  for (int i = 0; i <= g_depth; ++i) {
    g_levels[i].file.reset();
  }
}

void source_reset() {
  // A stop can leave files open; a new run must not inherit them.
  for (IncludeLevel& level : g_levels) level = IncludeLevel{};
  g_depth = 0;
  g_file_names.clear();
  g_maps.clear();
  g_file = &kNoFile;
  g_file_index = 0;
  g_line_number = 0;
  g_line.clear();
  g_split = SplitLine{};
  g_fields.clear();
}

const std::string& current_file_name() {
  return *g_file;
}
const std::string* current_file_ref() {
  return g_file;
}
int32_t current_file_index() {
  return g_file_index;
}
int current_line_number() {
  return g_line_number;
}
const std::string& current_line() {
  return g_line;
}

void set_position(const std::string* file_name, int line_number) {
  g_file = file_name ? file_name : &kNoFile;
  g_line_number = line_number;
}

const std::string* source_file_name(size_t index) {
  return index < g_file_names.size() ? &g_file_names[index] : nullptr;
}

const SourceMap* source_map(size_t index) {
  return index < g_maps.size() ? &g_maps[index] : nullptr;
}

const SplitLine& split_result() {
  return g_split;
}

void split_line(std::string& line) {
  line.resize(comment_start(line));

  // The line is scanned as it stands; each field ends with a NUL in the copy.
  SplitLine& s = g_split;
  const char* text = line.data();
  g_fields = line;
  char* copy = g_fields.data();
  auto field = [copy](size_t start, size_t stop) {
    copy[stop] = '\0';
    return std::string_view(copy + start, stop - start);
  };
  // A run of blanks stops at the NUL after the line at the latest.
  size_t i = 0, n = line.size();
  while (i < n && !is_split_blank(text[i])) ++i;
  s.label = field(0, i);
  while (is_split_blank(text[i])) ++i;
  size_t start = i;
  while (i < n && !is_split_blank(text[i])) ++i;
  s.mnemonic = field(start, i);
  while (is_split_blank(text[i])) ++i;

  // Sixteen fields at most; a field left empty (a comma straight after the mnemonic, or a run
  // of commas) adds no operand, so operands are numbered without gaps. Blanks at the end of an
  // operand are not part of it.
  s.operandCount = 0;
  for (int number = 0; number < kMaxOperands && i < n; ++number) {
    start = i;
    const void* comma = std::memchr(text + i, ',', n - i);
    i = comma ? static_cast<size_t>(static_cast<const char*>(comma) - text) : n;
    if (i > start) {
      size_t stop = i;
      while (stop > start && is_split_blank(text[stop - 1])) --stop;
      s.operands[s.operandCount] = field(start, stop);
      s.operandColumns[s.operandCount] = static_cast<int>(start);
      ++s.operandCount;
    }
    while (i < n && text[i] == ',') ++i;
  }
  s.droppedColumn = i < n ? static_cast<int>(i) : -1;
}
