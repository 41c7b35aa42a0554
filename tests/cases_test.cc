// End-to-end cases as data (tests/cases/*.txt). Sections shared by a file's cases come first;
// a case is "=== name", the text of t.asm, then sections "--- kind arg": file NAME, example PATH
// (from examples/), dir NAME, link NAME TARGET, fifo NAME, limit BLOCKS (the installed program
// run by the shell under `ulimit -f BLOCKS`), program PATH (default /nonexistent/wendrix), args
// (default t), base NAME (default t); console [-n] (whole, after the banner; -n: no last line
// feed), pass1 and pass2 (after that pass's line; none of the three: a clean run), listing,
// config, code, symbols (the listing or one section), hex (words other than 0xFFF, then the
// configuration words, read back by an independent reader), leaves NAME... (files a failed run
// may change), lint STATUS [brief] (wendrix-lint's output and status; brief: without the source
// and caret lines). Every case also checks the status against the console, that a clean run
// rewrote both outputs and touched nothing else, and that a failed run changed nothing else.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

struct Section {
  std::string kind, arg, text;
};

struct Case {
  std::string name;
  std::vector<Section> sections;  // the shared ones first
};

std::string without_blank_end(std::string text) {
  while (text.size() >= 2 && text.ends_with("\n\n")) text.pop_back();
  return text == "\n" ? "" : text;
}

std::vector<Case> load_cases() {
  std::vector<Case> cases;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(TEST_CASES)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::vector<Section> shared;
    std::vector<Section>* into = &shared;
    std::string line;
    while (std::getline(in, line)) {
      if (line.starts_with("=== ")) {
        cases.push_back(Case{path.stem().string() + ": " + line.substr(4), shared});
        into = &cases.back().sections;
        into->push_back(Section{"file", "t.asm", ""});
      } else if (line.starts_with("--- ")) {
        std::istringstream words(line.substr(4));
        Section s;
        words >> s.kind;
        std::getline(words >> std::ws, s.arg);
        into->push_back(s);
      } else if (!into->empty()) {
        into->back().text += line + "\n";
      }
    }
  }
  for (Case& c : cases) {
    for (Section& s : c.sections) s.text = without_blank_end(s.text);
  }
  return cases;
}

const Section* find(const Case& c, const std::string& kind) {
  const Section* found = nullptr;
  for (const Section& s : c.sections) found = s.kind == kind ? &s : found;
  return found;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Every entry under `root` with its content, a link as its target.
std::map<std::string, std::string> snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string& content = files[entry.path().lexically_relative(root).string()];
    if (entry.is_symlink()) {
      content = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      content = "<directory>";
    } else if (entry.is_fifo()) {
      content = "<fifo>";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      content.assign(std::istreambuf_iterator<char>(in), {});
    }
  }
  return files;
}

// A listing section: after its heading, up to the two line feeds before the next heading.
std::string listing_section(const std::string& listing, const std::string& heading,
                            const char* next) {
  size_t start = listing.find(heading);
  if (start == std::string::npos) return "<no " + heading + ">";
  start += heading.size();
  size_t end = *next ? listing.find(next, start) : listing.size();
  if (end == std::string::npos || end < start + 2) return "<no end of " + heading + ">";
  return without_blank_end(listing.substr(start, end - 2 - start));
}

// Reads an Intel HEX file independently of the program, checking every record's length, type
// and checksum, and lists the words as the `hex` section does.
std::string read_hex(const std::string& hex) {
  std::map<unsigned, unsigned> bytes;
  std::istringstream in(hex);
  std::string line, out;
  bool ended = false;
  while (std::getline(in, line)) {
    if (ended || line.size() < 11 || line.size() % 2 == 0 || line[0] != ':') return "bad: " + line;
    std::vector<unsigned> b;
    unsigned sum = 0;
    for (size_t i = 1; i < line.size(); i += 2) {
      b.push_back(std::stoul(line.substr(i, 2), nullptr, 16));
      sum += b.back();
    }
    if (sum % 256 != 0 || b[0] + 5 != b.size() || b[3] > 1) return "bad record: " + line;
    ended = b[3] == 1;
    for (unsigned i = 0; i < b[0]; ++i) bytes[(b[1] << 8 | b[2]) + i] = b[4 + i];
  }
  if (!ended) return "no end record";
  auto word = [&bytes](unsigned at) { return bytes[at] | bytes[at + 1] << 8; };
  char buf[32];
  bool in_run = false;
  for (unsigned a = 0; a < 2048; ++a) {
    if (!bytes.count(2 * a) || !bytes.count(2 * a + 1)) return "missing word";
    if (word(2 * a) == 0xFFF) {
      if (in_run) out += '\n';
      in_run = false;
      continue;
    }
    if (!in_run) out += (std::snprintf(buf, sizeof buf, "%03x:", a), buf);
    out += (std::snprintf(buf, sizeof buf, " %03x", word(2 * a)), buf);
    in_run = true;
  }
  std::snprintf(buf, sizeof buf, "config: %03x %03x\n", word(0x2020), word(0x2022));
  return out + (in_run ? "\n" : "") + buf;
}

// A checker's output without each report's source and caret lines.
std::string without_source_lines(const std::string& out) {
  static const std::regex report("[^ :]+:[0-9]+:[0-9]+: (error|warning|note): .*");
  std::istringstream in(out);
  std::string line, kept;
  while (std::getline(in, line)) {
    kept += line + "\n";
    if (std::regex_match(line, report)) std::getline(in, line), std::getline(in, line);
  }
  return kept;
}

// A case prints as its name, in the test's own messages too.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class Cases : public testing::TestWithParam<Case> {};

TEST_P(Cases, Run) {
  const Case& c = GetParam();
  ScratchDir dir;
  dir.write("t.lst", "stale listing\n");
  dir.write("t.hex", "stale hex\n");
  std::vector<std::string> argv = {"/nonexistent/wendrix", "t"};
  for (const Section& s : c.sections) {
    fs::path at = fs::path(dir.path) / (s.arg.empty() ? "" : words(s.arg)[0]);
    if (s.kind == "file") dir.write(s.arg, s.text);
    if (s.kind == "example") {
      fs::copy_file(fs::path(WENDRIX_EXAMPLES) / s.arg,
                    fs::path(dir.path) / fs::path(s.arg).filename());
    }
    if (s.kind == "dir" || s.kind == "link" || s.kind == "fifo") fs::remove_all(at);
    if (s.kind == "dir") fs::create_directories(at);
    if (s.kind == "link") fs::create_symlink(words(s.arg)[1], at);
    if (s.kind == "fifo") {
      ASSERT_EQ(mkfifo(at.c_str(), 0600), 0);
    }
    if (s.kind == "program") argv[0] = s.arg;
    if (s.kind == "args") argv = words(argv[0] + " " + s.arg);
  }
  std::map<std::string, std::string> before = snapshot(dir.path);
  if (const Section* lint = find(c, "lint")) {
    RunResult r = run_in_process(dir, argv, true);
    if (lint->arg.ends_with(" brief")) r.out = without_source_lines(r.out);
    EXPECT_EQ(r.out, lint->text);
    EXPECT_EQ(std::to_string(r.status), words(lint->arg)[0]);
    EXPECT_EQ(snapshot(dir.path), before) << "wendrix-lint changed a file";
    return;
  }
  const Section* limit = find(c, "limit");
  RunResult r = limit ? run_shell(dir, "ulimit -f " + limit->arg + "; exec " WENDRIX_EXE " t")
                      : run_in_process(dir, argv);

  std::string expected = "\nPass 1...\nPass 2...\n\n\nDone.\n";
  for (const Section& s : c.sections) {
    if (s.kind == "console")
      expected = s.arg == "-n" ? s.text.substr(0, s.text.size() - 1) : s.text;
    if (s.kind == "pass1") expected = "\nPass 1...\n" + s.text;
    if (s.kind == "pass2") expected = "\nPass 1...\nPass 2...\n" + s.text;
  }
  ASSERT_TRUE(r.out.starts_with(banner())) << r.out;
  EXPECT_EQ(r.out.substr(banner().size()), expected);
  EXPECT_EQ(r.status, r.out.ends_with("\n\nDone.\n") ? 0 : 1) << "every stop exits with 1";

  std::string base = find(c, "base") ? find(c, "base")->arg : "t";
  std::map<std::string, std::string> after = snapshot(dir.path);
  std::vector<std::string> may_change;
  if (r.status == 0) {
    may_change = {base + ".lst", base + ".hex"};
    for (const std::string& name : may_change) {
      EXPECT_TRUE(after.count(name) && before[name] != after[name]) << name << " not rewritten";
    }
    const std::string& listing = after[base + ".lst"];
    EXPECT_TRUE(listing.starts_with("Wendrix output from: [" + base + ".asm]\n\n\nConfig:\n"));
    EXPECT_TRUE(listing.ends_with("\n\n\n")) << "the listing's closing lines";
  } else if (const Section* leaves = find(c, "leaves")) {
    may_change = words(leaves->arg);
  }
  for (const std::string& name : may_change) before.erase(name), after.erase(name);
  EXPECT_EQ(after, before) << "files other than the outputs changed";

  if (r.status != 0) return;  // nothing more to read (an output may be a link to a device)
  std::string listing = dir.read(base + ".lst");
  if (const Section* s = find(c, "listing")) {
    EXPECT_EQ(without_blank_end(listing), s->text);
  }
  const char* const parts[][3] = {{"config", "Config:\n-------\n\n", "Code:\n"},
                                  {"code", "Code:\n-----\n\n", "Symbols:\n"},
                                  {"symbols", "Symbols:\n--------\n\n", ""}};
  for (const auto& [kind, heading, next] : parts) {
    if (const Section* s = find(c, kind)) {
      EXPECT_EQ(listing_section(listing, heading, next), s->text) << kind;
    }
  }
  if (const Section* s = find(c, "hex")) {
    EXPECT_EQ(read_hex(dir.read(base + ".hex")), s->text);
  }
}

std::string test_name(const testing::TestParamInfo<Case>& info) {
  std::string name;
  for (char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, Cases, testing::ValuesIn(load_cases()), test_name);

}  // namespace
