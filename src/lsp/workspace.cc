// The server's workspace: finding a file's program, checking it with the editor's texts, and
// publishing what the checker found.
#include "lsp/workspace.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace {

namespace fs = std::filesystem;

// The workspace is scanned this deep and this wide at most: a deep chain of directories or a
// huge tree costs a bounded time, and a failing scan (too many open files) ends the scan only.
constexpr int kMaxScanDepth = 12;
constexpr size_t kMaxCandidates = 2000;
constexpr int kMaxScanEntries = 20000;

// The files a program includes, as wendrix would open them from its directory.
std::vector<std::string> includes_of(const Server& server, const std::string& dir,
                                     const std::string& source) {
  std::vector<std::string> files = {source}, pending = {source};
  while (!pending.empty() && files.size() < 4096) {
    std::string file = pending.back();
    pending.pop_back();
    EditorText text = text_of(server, file);
    for (size_t n = 1; n <= text.line_count(); ++n) {
      std::string name;
      if (parse_include_line(std::string(text.line(static_cast<int>(n))), name) != INCLUDE_FILE) {
        continue;
      }
      std::string path = absolute_in(dir, name);
      if (std::find(files.begin(), files.end(), path) != files.end()) continue;
      files.push_back(path);
      pending.push_back(path);
    }
  }
  return files;
}

// The sources under a directory, never throwing: a scan that fails ends where it failed.
void find_sources(const std::string& where, std::vector<std::string>& candidates) {
  std::error_code error;
  if (where.empty() || !fs::is_directory(where, error)) return;
  fs::recursive_directory_iterator it(where, fs::directory_options::skip_permission_denied, error);
  int entries = 0;
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (candidates.size() > kMaxCandidates || ++entries > kMaxScanEntries) return;
    if (it.depth() >= kMaxScanDepth) it.disable_recursion_pending();
    std::error_code unreadable;
    std::string name = it->path().string();
    if (it->is_regular_file(unreadable) && fold_case(name).ends_with(".asm")) {
      candidates.push_back(fs::path(name).lexically_normal().string());
    }
  }
}

// The program a file belongs to: a source in the workspace (its own directory first) that
// includes it, else the file itself.
std::string find_program(const Server& server, const std::string& path) {
  std::vector<std::string> candidates;
  find_sources(directory_of(path), candidates);
  find_sources(server.root, candidates);
  for (const std::string& candidate : candidates) {
    if (candidate == path) continue;
    std::vector<std::string> files = includes_of(server, directory_of(candidate), candidate);
    if (std::find(files.begin(), files.end(), path) != files.end()) return candidate;
  }
  return path;
}

std::string cached_program_of(Server& server, const std::string& path) {
  auto [it, fresh] = server.program_of.try_emplace(path);
  if (fresh) it->second = find_program(server, path);
  return it->second;
}

// Checks the program whose main source is `source` ("" for none: an instruction set alone, in
// `dir`), with the editor's unsaved texts, from its own directory.
Program& check(Server& server, std::string source, std::string dir) {
  std::unique_ptr<Program>& slot = server.programs[source.empty() ? dir + "/" : source];
  slot = std::make_unique<Program>();
  Program& p = *slot;
  p.source = source;
  p.dir = dir;
  set_file_overlay([&server, &dir](const std::string& name) -> const std::string* {
    auto it = server.documents.find(absolute_in(dir, name));
    return it == server.documents.end() ? nullptr : &it->second;
  });
  std::string name = file_name_of(source);
  // A source that is no .asm file is an include file that no program includes: a fragment.
  bool fragment = !source.empty() && fold_case(name).find(".asm") == std::string::npos;
  build_program_model({dir, "wendrix-lsp", "", name, fragment}, p.model);
  p.findings = lint_findings(p.model, {"", name, fragment, false});
  set_file_overlay(nullptr);
  for (const ModelFile& file : p.model.files) p.paths.push_back(absolute_in(dir, file.name));
  p.isa = absolute_in(dir, p.model.instructionSet.empty() ? "inst.dat" : p.model.instructionSet);
  for (LintFinding& f : p.findings) {
    int32_t known = model_file(p.model, f.file);
    f.file = known >= 0 ? p.paths[static_cast<size_t>(known)] : absolute_in(dir, f.file);
  }
  return p;
}

int word_length(std::string_view line, int column) {
  int n = 0;
  while (static_cast<size_t>(column + n) < line.size() && is_name_char(line[column + n])) ++n;
  return std::max(n, 1);
}

json range(int line, int character, int length) {
  return {{"start", {{"line", line}, {"character", character}}},
          {"end", {{"line", line}, {"character", character + length}}}};
}

void publish(Server& server, const Program& p) {
  std::map<std::string, json> by_file;
  for (int32_t i = 0; i < p.model.sourceFiles; ++i) {
    by_file[p.paths[static_cast<size_t>(i)]] = json::array();
  }
  by_file[p.isa] = json::array();
  static const int kSeverity[] = {3, 2, 1};   // note: information; warning; error
  std::map<std::string, EditorText> outside;  // files the model does not hold, read once
  for (const LintFinding& f : p.findings) {
    int32_t index = file_index(p, f.file);
    if (index < 0 && !outside.count(f.file)) outside[f.file] = text_of(server, f.file);
    const EditorText& text =
        index >= 0 ? p.model.files[static_cast<size_t>(index)].text : outside[f.file];
    int line = f.line - 1, column = f.column - 1;
    by_file[f.file].push_back(
        {{"range", range(line, column, word_length(text.line(f.line), column))},
         {"severity", kSeverity[f.severity]},
         {"code", f.check},
         {"source", "wendrix"},
         {"message", f.message}});
  }
  std::set<std::string>& published = server.published[p.source];
  for (const std::string& file : published) by_file.try_emplace(file, json::array());
  published.clear();
  for (const auto& [file, diagnostics] : by_file) {
    if (!diagnostics.empty()) published.insert(file);
    send_message(*server.out, {{"jsonrpc", "2.0"},
                               {"method", "textDocument/publishDiagnostics"},
                               {"params", {{"uri", uri_of(file)}, {"diagnostics", diagnostics}}}});
  }
}

}  // namespace

std::string absolute_in(const std::string& dir, const std::string& name) {
  fs::path p(name);
  return (p.is_absolute() ? p : fs::path(dir) / p).lexically_normal().string();
}

std::string directory_of(const std::string& path) {
  return fs::path(path).parent_path().string();
}

std::string file_name_of(const std::string& path) {
  return fs::path(path).filename().string();
}

bool is_instruction_set(const std::string& path) {
  return file_name_of(path) == "inst.dat";
}

EditorText text_of(const Server& server, const std::string& path) {
  if (auto it = server.documents.find(path); it != server.documents.end()) {
    return make_editor_text(it->second);
  }
  EditorText text;
  read_editor_text(path, text);
  return text;
}

std::vector<std::string> include_lines(const std::string& text) {
  std::vector<std::string> found;
  EditorText lines = make_editor_text(text);
  for (size_t n = 1; n <= lines.line_count(); ++n) {
    std::string name;
    if (parse_include_line(std::string(lines.line(static_cast<int>(n))), name) != INCLUDE_NONE) {
      found.push_back(name);
    }
  }
  return found;
}

int32_t file_index(const Program& p, const std::string& path) {
  for (size_t i = 0; i < p.paths.size(); ++i) {
    if (p.paths[i] == path) return static_cast<int32_t>(i);
  }
  return -1;
}

Program& program_for(Server& server, const std::string& path, bool fresh) {
  std::string dir = directory_of(path);
  std::string source = is_instruction_set(path) ? "" : cached_program_of(server, path);
  if (source.empty()) {
    // An instruction set: a program checked with it, else a program beside it, else none (its
    // own findings are published all the same).
    for (auto& [name, p] : server.programs) {
      if (p->isa == path) return fresh ? check(server, p->source, p->dir) : *p;
    }
    std::vector<std::string> beside;
    std::error_code error;
    for (auto it = fs::directory_iterator(dir, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
      std::error_code unreadable;
      if (it->is_regular_file(unreadable) && fold_case(it->path().string()).ends_with(".asm")) {
        beside.push_back(it->path().string());
      }
    }
    std::sort(beside.begin(), beside.end());
    if (!beside.empty()) source = beside[0];
  }
  auto it = server.programs.find(source.empty() ? dir + "/" : source);
  if (!fresh && it != server.programs.end()) return *it->second;
  return check(server, source, source.empty() ? dir : directory_of(source));
}

void recheck(Server& server, const std::string& path) {
  if (is_instruction_set(path)) {
    std::vector<std::pair<std::string, std::string>> sources;
    for (const auto& [name, p] : server.programs) {
      if (p->isa == path) sources.push_back({p->source, p->dir});
    }
    for (const auto& [source, dir] : sources) publish(server, check(server, source, dir));
    if (sources.empty()) publish(server, program_for(server, path, true));
    return;
  }
  publish(server, program_for(server, path, true));
}
