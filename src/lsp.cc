// wendrix-lsp: the protocol (JSON-RPC over Content-Length framing) and each request's answer.
#include "lsp.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <istream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <vector>

#include "diag.h"
#include "expr.h"
#include "isa.h"
#include "lint.h"
#include "output.h"
#include "pass1.h"
#include "source.h"
#include "symbols.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// A body larger than this is read and dropped: no message of the protocol comes near it.
constexpr size_t kMaxBody = size_t{64} << 20;

// The protocol's error codes.
constexpr int kParseError = -32700, kInvalidRequest = -32600, kMethodNotFound = -32601,
              kInvalidParams = -32602, kNotInitialized = -32002;

// ---- Paths and URIs ----

std::string path_of(const std::string& uri) {
  if (!uri.starts_with("file://")) return "";
  std::string path;
  for (size_t i = 7; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && is_hex_digit(uri[i + 1]) &&
        is_hex_digit(uri[i + 2])) {
      path += static_cast<char>(digit_value(uri[i + 1]) * 16 + digit_value(uri[i + 2]));
      i += 2;
    } else {
      path += uri[i];
    }
  }
  return fs::path(path).lexically_normal().string();
}

std::string uri_of(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (is_name_char(static_cast<char>(c)) ||
        std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

// ---- What a check of a program leaves for the requests ----

struct SymbolFact {
  std::string name;
  bool known = false;
  int32_t value = 0;
  bool label = false;  // defined by a label (else only used)
  bool equ = false;
  std::string file;  // where it is defined
  int line = 0;
};

struct StatementFact {
  int line = 0;
  int kind = KIND_NONE;
  bool addressKnown = false;
  int32_t address = 0;
  int word = -1;  // the word stored at its address, when it is an instruction placed in memory
  std::string label, mnemonic;
};

struct DefinitionFact {
  std::string name;
  int line = 0;
  std::vector<std::string> operands;  // as written: "k8", "\"w\""
  std::string bits;                   // the bit layout, most significant first
};

struct Program {
  std::string dir, source;         // the program: its directory and its file
  std::string isa;                 // the instruction set, absolute
  std::vector<std::string> files;  // absolute, main source first
  std::map<std::string, std::vector<StatementFact>> statements;  // by file, in line order
  std::vector<SymbolFact> symbols;
  std::vector<DefinitionFact> definitions;
  std::vector<LintFinding> findings;  // files absolute
};

struct Document {
  std::string text;
};

struct Server {
  std::ostream* out = nullptr;
  bool initialized = false;
  bool shut_down = false;
  std::string root;
  std::map<std::string, Document> documents;               // open, by absolute path
  std::map<std::string, Program> programs;                 // by main source, absolute
  std::map<std::string, std::set<std::string>> published;  // by program: files with diagnostics
  // The program each file was found in, kept while no include line of an open file changes.
  std::map<std::string, std::string> program_of;
};
Server* g_server = nullptr;
std::string g_run_dir;  // the directory a check runs in, for the overlay

std::string absolute_in(const std::string& dir, const std::string& name) {
  fs::path p(name);
  return (p.is_absolute() ? p : fs::path(dir) / p).lexically_normal().string();
}

// The editor's text of an open file, in place of what is on disk.
const std::string* unsaved_text(const std::string& path) {
  auto it = g_server->documents.find(absolute_in(g_run_dir, path));
  return it == g_server->documents.end() ? nullptr : &it->second.text;
}

std::string text_of(const std::string& path) {
  if (auto it = g_server->documents.find(path); it != g_server->documents.end()) {
    return it->second.text;
  }
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The files a program includes, as wendrix would open them from its directory.
std::vector<std::string> includes_of(const std::string& dir, const std::string& source) {
  std::vector<std::string> files = {source}, pending = {source};
  while (!pending.empty() && files.size() < 4096) {
    std::string file = pending.back();
    pending.pop_back();
    for (const std::string& line : lines_of(text_of(file))) {
      std::string name;
      if (parse_include_line(line, name) != INCLUDE_FILE) continue;
      std::string path = absolute_in(dir, name);
      if (std::find(files.begin(), files.end(), path) != files.end()) continue;
      files.push_back(path);
      pending.push_back(path);
    }
  }
  return files;
}

// The program a file belongs to: a source in the workspace (its own directory first) that
// includes it, else the file itself.
std::string find_program(const std::string& path) {
  std::vector<std::string> candidates;
  std::string dir = fs::path(path).parent_path().string();
  for (const std::string& where : {dir, g_server->root}) {
    if (where.empty() || !fs::is_directory(where)) continue;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(
             where, fs::directory_options::skip_permission_denied, error)) {
      if (candidates.size() > 2000) break;
      std::string name = entry.path().string();
      if (entry.is_regular_file(error) && fold_case(name).ends_with(".asm")) {
        candidates.push_back(fs::path(name).lexically_normal().string());
      }
    }
  }
  for (const std::string& candidate : candidates) {
    if (candidate == path) continue;
    std::string candidate_dir = fs::path(candidate).parent_path().string();
    std::vector<std::string> files = includes_of(candidate_dir, candidate);
    if (std::find(files.begin(), files.end(), path) != files.end()) return candidate;
  }
  return path;
}

std::string program_of(const std::string& path) {
  auto [it, fresh] = g_server->program_of.try_emplace(path);
  if (fresh) it->second = find_program(path);
  return it->second;
}

// The include lines of a text: when they change, which program a file belongs to may too.
std::vector<std::string> include_lines(const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& line : lines_of(text)) {
    std::string name;
    if (parse_include_line(line, name) != INCLUDE_NONE) found.push_back(name);
  }
  return found;
}

// ---- Checking a program ----

void gather(Program& p, const std::vector<LintFinding>& findings) {
  p.findings = findings;
  for (LintFinding& f : p.findings) f.file = absolute_in(p.dir, f.file);
  for (size_t i = 0; source_file_name(i); ++i) {
    std::string file = absolute_in(p.dir, *source_file_name(i));
    if (std::find(p.files.begin(), p.files.end(), file) == p.files.end()) p.files.push_back(file);
  }
  for (const StatementRecord& s : statement_list()) {
    StatementFact fact{s.lineNumber,
                       s.kind,
                       s.addressKnown != 0,
                       s.address,
                       -1,
                       std::string(statement_texts(s)),
                       std::string(next_text(statement_texts(s)))};
    if (s.kind >= 0 && s.addressKnown && s.address >= 0 && s.address < kCodeWords &&
        code_word(s.address) != kEmptyWord) {
      fact.word = code_word(s.address);
    }
    if (s.labelSymbol >= 0 && fact.label.empty()) fact.label = symbol_name(s.labelSymbol);
    const std::string* file = statement_file(s);
    p.statements[absolute_in(p.dir, file ? *file : "")].push_back(fact);
  }
  const StatementList& list = statement_list();
  for (int i = 0; i < symbol_count(); ++i) {
    const SymbolEntry& e = symbol_at(i);
    SymbolFact fact;
    fact.name = symbol_name(i);
    fact.known = e.valueKnown != 0;
    fact.value = e.value;
    fact.label = e.definedByLabel != 0;
    if (e.definedByLabel && e.statement >= 0 && static_cast<size_t>(e.statement) < list.size()) {
      const StatementRecord& s = list[static_cast<size_t>(e.statement)];
      fact.equ = s.kind == KIND_EQU;
      const std::string* file = statement_file(s);
      fact.file = absolute_in(p.dir, file ? *file : "");
      fact.line = s.lineNumber;
    }
    p.symbols.push_back(fact);
  }
  std::vector<std::string> isa_lines = lines_of(text_of(p.isa));
  for (const InstructionDef& def : instruction_table()) {
    DefinitionFact fact{def.name, def.line, {}, {}};
    std::string line = def.line >= 1 && static_cast<size_t>(def.line) <= isa_lines.size()
                           ? isa_lines[static_cast<size_t>(def.line) - 1]
                           : "";
    std::vector<DefinitionToken> tokens = definition_tokens(line);
    size_t sep = separator_token(tokens);
    for (size_t t = 1; t < sep && t < tokens.size(); ++t) fact.operands.push_back(tokens[t].text);
    for (int b = 0; b < def.bitCount; ++b) {
      const BitSource& bit = def.bits[b];
      if (!fact.bits.empty()) fact.bits += ' ';
      if (bit.source < 0) {
        fact.bits += bit.bit ? '1' : '0';
      } else if (static_cast<size_t>(bit.source) < fact.operands.size()) {
        fact.bits +=
            fact.operands[static_cast<size_t>(bit.source)].substr(0, 1) + std::to_string(bit.bit);
      }
    }
    p.definitions.push_back(fact);
  }
}

// Checks the program whose main source is `source`, with the editor's unsaved texts.
Program& check(const std::string& source) {
  Program& p = g_server->programs[source];
  p = Program{};
  p.source = source;
  p.dir = fs::path(source).parent_path().string();
  std::string before = fs::current_path().string();
  std::error_code error;
  fs::current_path(p.dir, error);
  g_run_dir = p.dir;
  set_file_overlay(unsaved_text);
  std::ostringstream ignored;
  run_lint({"wendrix-lint", fs::path(source).filename().string()}, ignored,
           [&p](const std::vector<LintFinding>& findings, const std::string& instruction_set) {
             if (!instruction_set.empty()) p.isa = absolute_in(p.dir, instruction_set);
             gather(p, findings);
           });
  set_file_overlay(nullptr);
  fs::current_path(before, error);
  if (p.isa.empty()) p.isa = absolute_in(p.dir, "inst.dat");
  return p;
}

// ---- Answers ----

json range(int line, int character, int length) {
  return {{"start", {{"line", line}, {"character", character}}},
          {"end", {{"line", line}, {"character", character + length}}}};
}

json location(const std::string& file, int line, int character = 0, int length = 0) {
  return {{"uri", uri_of(file)}, {"range", range(std::max(line, 0), character, length)}};
}

void send(const json& message) {
  std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
  *g_server->out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
  g_server->out->flush();
}

void reply(const json& id, const json& result) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
}

void reply_error(const json& id, int code, const std::string& message) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

int word_length(const std::string& line, int column) {
  int n = 0;
  while (static_cast<size_t>(column + n) < line.size() && is_name_char(line[column + n])) ++n;
  return std::max(n, 1);
}

void publish(const Program& p) {
  std::map<std::string, json> by_file;
  for (const std::string& file : p.files) by_file[file] = json::array();
  by_file[p.isa] = json::array();
  std::map<std::string, std::vector<std::string>> texts;
  for (const LintFinding& f : p.findings) {
    if (!texts.count(f.file)) texts[f.file] = lines_of(text_of(f.file));
    const std::vector<std::string>& lines = texts[f.file];
    int line = f.line - 1, column = f.column - 1;
    int length = static_cast<size_t>(line) < lines.size() ? word_length(lines[line], column) : 1;
    static const int kSeverity[] = {3, 2, 1};  // note: information; warning; error
    by_file[f.file].push_back({{"range", range(line, column, length)},
                               {"severity", kSeverity[f.severity]},
                               {"code", f.check},
                               {"source", "wendrix"},
                               {"message", f.message}});
  }
  std::set<std::string>& published = g_server->published[p.source];
  for (const std::string& file : published) by_file.try_emplace(file, json::array());
  published.clear();
  for (const auto& [file, diagnostics] : by_file) {
    if (!diagnostics.empty()) published.insert(file);
    send({{"jsonrpc", "2.0"},
          {"method", "textDocument/publishDiagnostics"},
          {"params", {{"uri", uri_of(file)}, {"diagnostics", diagnostics}}}});
  }
}

// The program of a file, checked afresh when asked to, or as last checked.
Program& program_for(const std::string& path, bool fresh) {
  std::string source = fs::path(path).filename() == "inst.dat" ? "" : program_of(path);
  if (source.empty()) {
    // An instruction set: a program checked with it, else a program beside it, else none (its
    // own findings are published all the same).
    for (auto& [name, p] : g_server->programs) {
      if (p.isa == path) return fresh ? check(name) : p;
    }
    std::string dir = fs::path(path).parent_path().string();
    std::vector<std::string> beside;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
      if (fold_case(entry.path().string()).ends_with(".asm")) beside.push_back(entry.path());
    }
    std::sort(beside.begin(), beside.end());
    source = beside.empty() ? (fs::path(dir) / "\x01no program\x01").string() : beside[0];
  }
  auto it = g_server->programs.find(source);
  return fresh || it == g_server->programs.end() ? check(source) : it->second;
}

void recheck(const std::string& path) {
  if (fs::path(path).filename() == "inst.dat") {
    std::vector<std::string> sources;
    for (const auto& [name, p] : g_server->programs) {
      if (p.isa == path) sources.push_back(name);
    }
    for (const std::string& source : sources) publish(check(source));
    if (sources.empty()) publish(program_for(path, true));
    return;
  }
  publish(program_for(path, true));
}

struct Place {
  std::string path;
  int line = 0, character = 0;
  std::string text;  // the line
};

std::optional<Place> place_of(const json& params) {
  if (!params.is_object() || !params.contains("textDocument") || !params.contains("position")) {
    return std::nullopt;
  }
  const json& position = params["position"];
  Place place{path_of(params["textDocument"].value("uri", "")), position.value("line", -1),
              position.value("character", -1), ""};
  std::vector<std::string> lines = lines_of(text_of(place.path));
  if (place.line < 0 || static_cast<size_t>(place.line) >= lines.size() || place.character < 0) {
    return std::nullopt;
  }
  place.text = lines[static_cast<size_t>(place.line)];
  return place;
}

// The name under a position, or "".
std::string word_at(const std::string& line, int character) {
  size_t at = std::min(static_cast<size_t>(character), line.size());
  size_t start = at, end = at;
  while (start > 0 && is_name_char(line[start - 1])) --start;
  while (end < line.size() && is_name_char(line[end])) ++end;
  return line.substr(start, end - start);
}

// Which field of a line a position is in: 0 the label, 1 the mnemonic, 2 an operand, -1 a
// comment; `operand` gets the operand's index.
int field_at(const std::string& line, int character, int& operand) {
  std::string copy = line;
  split_line(copy);
  const SplitLine& s = split_result();
  size_t at = static_cast<size_t>(character);
  operand = -1;
  if (at > copy.size()) return -1;
  if (!s.label.empty() && at <= s.label.size()) return 0;
  size_t mnemonic = copy.find(s.mnemonic, s.label.size());
  if (s.mnemonic.empty() || at < mnemonic) return 1;
  if (at <= mnemonic + s.mnemonic.size()) return 1;
  operand = 0;
  for (int k = 0; k < s.operandCount; ++k) {
    if (at >= static_cast<size_t>(s.operandColumns[k])) operand = k;
  }
  return 2;
}

const SymbolFact* find_symbol(const Program& p, const std::string& name) {
  for (const SymbolFact& s : p.symbols) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

const StatementFact* statement_at(const Program& p, const std::string& file, int line) {
  auto it = p.statements.find(file);
  if (it == p.statements.end()) return nullptr;
  for (const StatementFact& s : it->second) {
    if (s.line == line) return &s;
  }
  return nullptr;
}

std::string hex3(int64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%03llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string definition_text(const DefinitionFact& d) {
  std::string text = d.name;
  for (const std::string& op : d.operands) text += " " + op;
  return text;
}

// Why a definition of the statement's name was not the one chosen.
std::string why_not(const DefinitionFact& d, const std::string& line) {
  std::string copy = line;
  split_line(copy);
  const SplitLine& s = split_result();
  if (static_cast<int>(d.operands.size()) != s.operandCount) {
    return "takes " + std::to_string(d.operands.size()) + " operands, not " +
           std::to_string(s.operandCount);
  }
  for (int k = 0; k < s.operandCount; ++k) {
    const std::string& op = d.operands[static_cast<size_t>(k)];
    if (op.starts_with("\"") &&
        !same_ignoring_case(op.substr(1, op.size() >= 2 ? op.size() - 2 : 0), s.operands[k])) {
      return "operand " + std::to_string(k + 1) + " must be the literal " + op;
    }
  }
  return "an earlier definition fits first";
}

json hover(const Program& p, const Place& at) {
  int operand;
  int field = field_at(at.text, at.character, operand);
  std::string word = word_at(at.text, at.character);
  std::string markdown;
  const StatementFact* s = statement_at(p, at.path, at.line + 1);
  if (field == 1 && s && s->kind >= 0 && static_cast<size_t>(s->kind) < p.definitions.size()) {
    const DefinitionFact& d = p.definitions[static_cast<size_t>(s->kind)];
    markdown = "**" + s->mnemonic + "**";
    markdown += s->addressKnown ? " at " + hex3(s->address) : " (no address)";
    if (s->word >= 0) markdown += ", word `" + hex3(s->word).substr(2) + "`";
    markdown += "\n\n" + fs::path(p.isa).filename().string() + " line " + std::to_string(d.line) +
                ": `" + definition_text(d) + "`\n\nbits: `" + d.bits + "`";
    for (const DefinitionFact& other : p.definitions) {
      if (&other == &d || !same_ignoring_case(other.name, d.name)) continue;
      markdown += "\n\nline " + std::to_string(other.line) + " `" + definition_text(other) +
                  "`: " + why_not(other, at.text);
    }
  } else if (const SymbolFact* symbol = word.empty() ? nullptr : find_symbol(p, word)) {
    markdown = "**" + symbol->name + "**";
    if (symbol->known) {
      markdown += " = `" + hex3(static_cast<uint32_t>(symbol->value)) + "` (" +
                  std::to_string(symbol->value) + ")";
    } else {
      markdown += ": no value";
    }
    if (symbol->label) {
      markdown += "\n\n" + std::string(symbol->equ ? "constant" : "label") + " defined at " +
                  fs::path(symbol->file).filename().string() + ":" + std::to_string(symbol->line);
    }
  }
  if (markdown.empty()) return nullptr;
  return {{"contents", {{"kind", "markdown"}, {"value", markdown}}}};
}

json definition(const Program& p, const Place& at) {
  std::string name;
  if (parse_include_line(at.text, name) == INCLUDE_FILE) {
    return location(absolute_in(p.dir, name), 0);
  }
  int operand;
  int field = field_at(at.text, at.character, operand);
  std::string word = word_at(at.text, at.character);
  if (field == 1) {
    json found = json::array();
    for (const DefinitionFact& d : p.definitions) {
      if (same_ignoring_case(d.name, word)) found.push_back(location(p.isa, d.line - 1));
    }
    if (!found.empty()) return found;
  }
  const SymbolFact* symbol = word.empty() ? nullptr : find_symbol(p, word);
  if (!symbol || !symbol->label) return nullptr;
  return location(symbol->file, symbol->line - 1, 0, static_cast<int>(symbol->name.size()));
}

json references(const Program& p, const Place& at) {
  std::string word = word_at(at.text, at.character);
  json found = json::array();
  if (word.empty() || !find_symbol(p, word)) return found;
  for (const std::string& file : p.files) {
    std::vector<std::string> lines = lines_of(text_of(file));
    for (size_t n = 0; n < lines.size(); ++n) {
      std::string code = lines[n];
      split_line(code);  // without its comment
      for (size_t i = find_name(code, word); i != std::string_view::npos;
           i = find_name(code, word, i + 1)) {
        found.push_back(location(file, static_cast<int>(n), static_cast<int>(i),
                                 static_cast<int>(word.size())));
      }
    }
  }
  return found;
}

json completion(const Program& p, const Place& at) {
  int operand;
  int field = field_at(at.text, at.character, operand);
  json items = json::array();
  std::set<std::string> seen;
  if (field == 1 || (field == 0 && at.text.empty())) {
    for (const DefinitionFact& d : p.definitions) {
      if (!seen.insert(fold_case(d.name)).second) continue;
      std::string forms;
      for (const DefinitionFact& other : p.definitions) {
        if (!same_ignoring_case(other.name, d.name)) continue;
        forms += (forms.empty() ? "" : " | ") + definition_text(other);
      }
      items.push_back({{"label", d.name}, {"kind", 14}, {"detail", forms}});
    }
    for (const char* directive : {"org", "equ", "ds"}) {
      items.push_back({{"label", directive}, {"kind", 14}, {"detail", "directive"}});
    }
    return items;
  }
  if (field != 2) return items;
  std::string copy = at.text;
  split_line(copy);
  std::string mnemonic(split_result().mnemonic);
  for (const DefinitionFact& d : p.definitions) {
    if (!same_ignoring_case(d.name, mnemonic) || static_cast<size_t>(operand) >= d.operands.size())
      continue;
    const std::string& op = d.operands[static_cast<size_t>(operand)];
    if (!op.starts_with("\"") || op.size() < 2) continue;
    std::string literal = op.substr(1, op.size() - 2);
    if (seen.insert(literal).second) {
      items.push_back(
          {{"label", literal}, {"kind", 20}, {"detail", "literal operand of " + d.name}});
    }
  }
  for (const SymbolFact& s : p.symbols) {
    if (!s.label || !seen.insert(s.name).second) continue;
    json item = {{"label", s.name}, {"kind", s.equ ? 21 : 6}};
    if (s.known) item["detail"] = hex3(static_cast<uint32_t>(s.value));
    items.push_back(item);
  }
  return items;
}

json document_symbols(const Program& p, const std::string& path) {
  json symbols = json::array();
  auto it = p.statements.find(path);
  if (it == p.statements.end()) return symbols;
  for (const StatementFact& s : it->second) {
    json r = range(s.line - 1, 0, static_cast<int>(s.label.size()));
    if (s.kind == KIND_ORG) {
      std::string name = s.addressKnown ? "org " + hex3(s.address) : "org";
      symbols.push_back({{"name", name}, {"kind", 3}, {"range", r}, {"selectionRange", r}});
    }
    if (s.label.empty()) continue;
    const SymbolFact* symbol = find_symbol(p, s.label);
    json item = {{"name", s.label},
                 {"kind", s.kind == KIND_EQU ? 14 : 12},
                 {"range", r},
                 {"selectionRange", r}};
    if (symbol && symbol->known) item["detail"] = hex3(static_cast<uint32_t>(symbol->value));
    symbols.push_back(item);
  }
  return symbols;
}

// Semantic token types, in the legend's order.
enum TokenType {
  TT_MNEMONIC,
  TT_LITERAL,
  TT_LABEL,
  TT_SYMBOL,
  TT_NUMBER,
  TT_DIRECTIVE,
  TT_COMMENT
};
const char* const kTokenTypes[] = {"keyword", "enumMember", "function", "variable",
                                   "number",  "macro",      "comment"};

json semantic_tokens(const Program& p, const std::string& path) {
  std::vector<int> data;
  int last_line = 0, last_start = 0;
  auto token = [&](int line, int start, int length, TokenType type) {
    if (length <= 0) return;
    data.insert(data.end(), {line - last_line, line == last_line ? start - last_start : start,
                             length, type, 0});
    last_line = line;
    last_start = start;
  };
  std::vector<std::string> lines = lines_of(text_of(path));
  for (size_t n = 0; n < lines.size(); ++n) {
    int line = static_cast<int>(n);
    std::string code = lines[n];
    std::string name;
    if (parse_include_line(code, name) != INCLUDE_NONE) {
      size_t hash = code.find('#');
      token(line, static_cast<int>(hash), 8, TT_DIRECTIVE);
      continue;
    }
    split_line(code);
    const SplitLine& s = split_result();
    std::string mnemonic(s.mnemonic);
    if (!s.label.empty()) token(line, 0, static_cast<int>(s.label.size()), TT_LABEL);
    if (!mnemonic.empty()) {
      int at = static_cast<int>(code.find(mnemonic, s.label.size()));
      token(line, at, static_cast<int>(mnemonic.size()),
            reserved_word(mnemonic) >= 0 ? TT_DIRECTIVE : TT_MNEMONIC);
    }
    for (int k = 0; k < s.operandCount; ++k) {
      std::string text(s.operands[k]);
      int column = s.operandColumns[k];
      bool literal = false;
      for (const DefinitionFact& d : p.definitions) {
        if (!same_ignoring_case(d.name, mnemonic) || static_cast<size_t>(k) >= d.operands.size())
          continue;
        const std::string& op = d.operands[static_cast<size_t>(k)];
        literal = literal || (op.size() >= 2 && op[0] == '"' &&
                              same_ignoring_case(op.substr(1, op.size() - 2), text));
      }
      if (literal) {
        token(line, column, static_cast<int>(text.size()), TT_LITERAL);
        continue;
      }
      for (size_t i = 0; i < text.size();) {
        size_t start = i;
        char c = text[i];
        if ((c == 'B' || c == 'b' || c == 'D' || c == 'd' || c == 'H' || c == 'h') &&
            i + 1 < text.size() && text[i + 1] == '\'') {
          size_t close = text.find('\'', i + 2);
          i = close == std::string::npos ? text.size() : close + 1;
          token(line, column + static_cast<int>(start), static_cast<int>(i - start), TT_NUMBER);
        } else if (is_digit(c) || (c == '$' && i + 1 < text.size() && is_hex_digit(text[i + 1]))) {
          ++i;
          while (i < text.size() && is_name_char(text[i])) ++i;
          token(line, column + static_cast<int>(start), static_cast<int>(i - start), TT_NUMBER);
        } else if (is_name_start(c)) {
          while (i < text.size() && is_name_char(text[i])) ++i;
          std::string word = text.substr(start, i - start);
          token(line, column + static_cast<int>(start), static_cast<int>(i - start),
                reserved_word(word) >= 0 ? TT_DIRECTIVE : TT_SYMBOL);
        } else {
          ++i;
        }
      }
    }
    if (code.size() < lines[n].size()) {
      token(line, static_cast<int>(code.size()), static_cast<int>(lines[n].size() - code.size()),
            TT_COMMENT);
    }
  }
  return {{"data", data}};
}

json capabilities() {
  return {{"textDocumentSync", {{"openClose", true}, {"change", 1}, {"save", true}}},
          {"hoverProvider", true},
          {"definitionProvider", true},
          {"referencesProvider", true},
          {"documentSymbolProvider", true},
          {"completionProvider", {{"triggerCharacters", json::array({" ", "\t", ","})}}},
          {"semanticTokensProvider",
           {{"legend", {{"tokenTypes", kTokenTypes}, {"tokenModifiers", json::array()}}},
            {"full", true}}}};
}

void open_or_change(const json& params) {
  const json& document = params.at("textDocument");
  std::string path = path_of(document.at("uri").get<std::string>());
  if (path.empty()) return;
  std::string text;
  if (params.contains("contentChanges")) {
    const json& changes = params.at("contentChanges");
    if (!changes.is_array() || changes.empty()) return;
    text = changes.back().at("text").get<std::string>();
  } else {
    text = document.at("text").get<std::string>();
  }
  Document& open = g_server->documents[path];
  if (!params.contains("contentChanges") || include_lines(open.text) != include_lines(text)) {
    g_server->program_of.clear();
  }
  open.text = std::move(text);
  recheck(path);
}

// Answers a request or takes a notification; throws json errors on malformed parameters.
void handle(const json& message) {
  const std::string method = message.value("method", "");
  const bool request = message.contains("id");
  const json id = request ? message["id"] : json();
  const json params = message.value("params", json::object());
  if (method == "initialize") {
    std::string root;
    if (params.contains("rootUri") && params["rootUri"].is_string()) {
      root = path_of(params["rootUri"].get<std::string>());
    } else if (params.contains("rootPath") && params["rootPath"].is_string()) {
      root = params["rootPath"].get<std::string>();
    }
    g_server->root = root;
    g_server->initialized = true;
    reply(id, {{"capabilities", capabilities()},
               {"serverInfo", {{"name", "wendrix-lsp"}, {"version", "0.10"}}}});
    return;
  }
  if (!g_server->initialized) {
    if (request) reply_error(id, kNotInitialized, "the server is not initialized");
    return;
  }
  if (method == "initialized" || method == "$/cancelRequest" || method == "$/setTrace") return;
  if (method == "shutdown") {
    g_server->shut_down = true;
    reply(id, nullptr);
    return;
  }
  if (method == "textDocument/didOpen" || method == "textDocument/didChange") {
    open_or_change(params);
    return;
  }
  if (method == "textDocument/didSave") {
    g_server->program_of.clear();
    recheck(path_of(params.at("textDocument").at("uri").get<std::string>()));
    return;
  }
  if (method == "textDocument/didClose") {
    std::string path = path_of(params.at("textDocument").at("uri").get<std::string>());
    g_server->documents.erase(path);
    return;
  }
  if (!request) return;  // an unknown notification is ignored
  static const std::set<std::string> kPositional = {"textDocument/hover", "textDocument/definition",
                                                    "textDocument/references",
                                                    "textDocument/completion"};
  if (kPositional.count(method)) {
    std::optional<Place> at = place_of(params);
    if (!at) {
      reply(id, method == "textDocument/references" || method == "textDocument/completion"
                    ? json::array()
                    : json(nullptr));
      return;
    }
    const Program& p = program_for(at->path, false);
    if (method == "textDocument/hover") reply(id, hover(p, *at));
    if (method == "textDocument/definition") reply(id, definition(p, *at));
    if (method == "textDocument/references") reply(id, references(p, *at));
    if (method == "textDocument/completion") reply(id, completion(p, *at));
    return;
  }
  if (method == "textDocument/documentSymbol" || method == "textDocument/semanticTokens/full") {
    std::string path = path_of(params.at("textDocument").at("uri").get<std::string>());
    const Program& p = program_for(path, false);
    reply(id, method == "textDocument/documentSymbol" ? document_symbols(p, path)
                                                      : semantic_tokens(p, path));
    return;
  }
  reply_error(id, kMethodNotFound, "no method " + method);
}

}  // namespace

MessageRead read_message(std::istream& in, std::string& body) {
  std::optional<size_t> length;
  std::string line;
  bool any = false;
  while (std::getline(in, line)) {
    any = true;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (!same_ignoring_case(line.substr(0, colon), "content-length")) continue;
    std::string value = line.substr(colon + 1);
    size_t first = value.find_first_not_of(' ');
    if (first == std::string::npos || !is_digit(value[first])) continue;
    size_t n = 0;
    bool ok = true;
    for (size_t i = first; i < value.size() && value[i] != ' '; ++i) {
      if (!is_digit(value[i]) || n > kMaxBody) ok = false;
      n = n * 10 + static_cast<size_t>(value[i] - '0');
    }
    if (ok) length = n;
  }
  if (!any || (!in && !length)) return MESSAGE_END;
  if (!length) return MESSAGE_MALFORMED;
  if (*length > kMaxBody) {
    in.ignore(static_cast<std::streamsize>(*length));
    return in ? MESSAGE_MALFORMED : MESSAGE_END;
  }
  body.assign(*length, '\0');
  in.read(body.data(), static_cast<std::streamsize>(*length));
  if (static_cast<size_t>(in.gcount()) != *length) return MESSAGE_END;
  return MESSAGE_READ;
}

int serve_lsp(std::istream& in, std::ostream& out) {
  Server server;
  server.out = &out;
  g_server = &server;
  int status = 1;
  for (std::string body;;) {
    MessageRead got = read_message(in, body);
    if (got == MESSAGE_END) break;
    if (got == MESSAGE_MALFORMED) continue;
    json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
      reply_error(nullptr, kParseError, "the message is not JSON");
      continue;
    }
    if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
      // A response from the client, or no message at all.
      if (message.is_object() && message.contains("id") && !message.contains("result") &&
          !message.contains("error")) {
        reply_error(message["id"], kInvalidRequest, "a request needs a method");
      }
      continue;
    }
    if (message["method"] == "exit") {
      status = server.shut_down ? 0 : 1;
      break;
    }
    try {
      handle(message);
    } catch (const json::exception& e) {
      if (message.contains("id")) reply_error(message["id"], kInvalidParams, e.what());
    } catch (const FatalStop&) {
      // A check that stopped: its findings, if any, were published before.
    }
  }
  g_server = nullptr;
  return status;
}
