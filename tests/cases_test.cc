// End-to-end cases written as data: tests/cases/*.txt, one parameterised test per case.
//
// A case file starts with sections shared by all its cases (usually `--- file inst.dat`), then
// holds cases, each opened by a line "=== name". Sections, each opened by a line "--- kind arg":
//   file NAME      an input file, laid out before the run (a case's own replaces a shared one)
//   dir NAME       an empty directory
//   args A B ...   the arguments after the program's name (default: t)
//   base NAME      the base name of the outputs (default: t)
//   console [-n]   the console after the banner, whole (-n: no line feed after the last line)
//   listing        the whole listing; config, code, symbols: one section of it
//   hex            the code words that are not empty, "ADDR: WORD WORD ...", and "config: F FX"
//   leaves NAME..  files a failed run may create or change
// A section's text is its lines as they stand, each ending in a line feed; blank lines at its
// end are dropped (a listing ends with blank lines, checked apart).
//
// Every case also checks: the exit status is 0 exactly when the console ends in "\n\nDone.\n";
// a successful run rewrote both output files and touched nothing else; a failed run created,
// changed or removed nothing but what `leaves` names (stale t.lst and t.hex are laid out first).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

struct Section {
  std::string kind, arg, text;
};

struct Case {
  std::string name;  // file/case, for the test's name and messages
  std::vector<Section> shared, own;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<Case> load_cases() {
  std::vector<Case> cases;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(TEST_CASES)) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::vector<Section> shared;
    std::vector<Section>* into = &shared;
    Case* current = nullptr;
    std::string line;
    auto finish = [&] {
      if (into->empty()) return;
      std::string& t = into->back().text;
      while (t.size() >= 2 && t.compare(t.size() - 2, 2, "\n\n") == 0) t.pop_back();
      if (t == "\n") t.clear();
    };
    while (std::getline(in, line)) {
      if (line.rfind("=== ", 0) == 0) {
        finish();
        cases.push_back(Case{path.stem().string() + "/" + trim(line.substr(4)), shared, {}});
        current = &cases.back();
        into = &current->own;
      } else if (line.rfind("--- ", 0) == 0) {
        finish();
        std::string rest = trim(line.substr(4));
        size_t space = rest.find(' ');
        into->push_back(Section{rest.substr(0, space),
                                space == std::string::npos ? "" : trim(rest.substr(space)), ""});
      } else if (!into->empty()) {
        into->back().text += line + "\n";
      }
    }
    finish();
  }
  return cases;
}

const Section* find(const Case& c, const std::string& kind) {
  for (const Section& s : c.own) {
    if (s.kind == kind) return &s;
  }
  return nullptr;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

// Every file and directory under `root`, with its content.
std::map<std::string, std::string> snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string name = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      files[name] = "<directory>";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      files[name] = s.str();
    }
  }
  return files;
}

std::string without_trailing_blank_lines(std::string text) {
  while (text.size() >= 2 && text.compare(text.size() - 2, 2, "\n\n") == 0) text.pop_back();
  return text;
}

// The text of a listing section: from its heading to the two line feeds before the next one.
std::string listing_section(const std::string& listing, const std::string& heading,
                            const std::string& next) {
  size_t start = listing.find(heading);
  if (start == std::string::npos) return "<no " + heading + ">";
  start += heading.size();
  size_t end = next.empty() ? listing.size() : listing.find(next, start);
  if (end == std::string::npos || end < start + 2) return "<no end of " + heading + ">";
  return listing.substr(start, end - 2 - start);
}

// Reads an Intel HEX file independently of the program: every record's length, type and
// checksum are checked; the result lists the words that are not 0xFFF and the config words.
std::string read_hex(const std::string& hex) {
  std::map<unsigned, unsigned> bytes;
  std::istringstream in(hex);
  std::string line;
  bool end_seen = false;
  while (std::getline(in, line)) {
    if (end_seen || line.size() < 11 || line[0] != ':') return "malformed line: " + line;
    std::vector<unsigned> b;
    for (size_t i = 1; i + 1 < line.size(); i += 2)
      b.push_back(std::stoul(line.substr(i, 2), nullptr, 16));
    unsigned sum = 0;
    for (unsigned v : b) sum += v;
    if ((sum & 0xFF) != 0 || b[0] + 5 != b.size()) return "bad record: " + line;
    if (b[3] == 1) {
      end_seen = true;
      continue;
    }
    if (b[3] != 0) return "bad type: " + line;
    unsigned address = b[1] << 8 | b[2];
    for (unsigned i = 0; i < b[0]; ++i) bytes[address + i] = b[4 + i];
  }
  if (!end_seen) return "no end record";
  std::string out;
  char buf[32];
  bool in_run = false;  // the last word written was the one before this
  for (unsigned a = 0; a < 2048; ++a) {
    if (!bytes.count(2 * a) || !bytes.count(2 * a + 1)) return "missing word";
    unsigned word = bytes[2 * a] | bytes[2 * a + 1] << 8;
    if (word == 0xFFF) {
      if (in_run) out += '\n';
      in_run = false;
      continue;
    }
    if (!in_run) {
      std::snprintf(buf, sizeof buf, "%03x:", a);
      out += buf;
    }
    std::snprintf(buf, sizeof buf, " %03x", word);
    out += buf;
    in_run = true;
  }
  if (in_run) out += '\n';
  auto config = [&](unsigned at) { return bytes[at] | bytes[at + 1] << 8; };
  std::snprintf(buf, sizeof buf, "config: %03x %03x\n", config(0x2020), config(0x2022));
  return out + buf;
}

class Cases : public testing::TestWithParam<Case> {};

TEST_P(Cases, Run) {
  const Case& c = GetParam();
  ScratchDir dir;
  dir.write("t.lst", "stale listing\n");
  dir.write("t.hex", "stale hex\n");
  std::vector<Section> all = c.shared;
  all.insert(all.end(), c.own.begin(), c.own.end());
  for (const Section& s : all) {
    if (s.kind == "file") dir.write(s.arg, s.text);
  }
  for (const Section& s : all) {
    if (s.kind != "dir") continue;
    fs::remove_all(fs::path(dir.path) / s.arg);
    fs::create_directories(fs::path(dir.path) / s.arg);
  }
  std::map<std::string, std::string> before = snapshot(dir.path);
  const Section* args = find(c, "args");
  RunResult r = run_in_process(
      dir, args ? words(args->text + " " + args->arg) : std::vector<std::string>{"t"});

  const Section* console = find(c, "console");
  ASSERT_TRUE(console) << "a case needs its console";
  std::string expected = console->text;
  if (console->arg == "-n" && !expected.empty()) expected.pop_back();
  ASSERT_EQ(r.out.substr(0, banner().size()), banner());
  EXPECT_EQ(r.out.substr(banner().size()), expected);
  bool done = r.out.size() >= 8 && r.out.compare(r.out.size() - 8, 8, "\n\nDone.\n") == 0;
  EXPECT_EQ(r.status == 0, done) << "status " << r.status;

  const Section* base_section = find(c, "base");
  std::string base = base_section ? base_section->arg : "t";
  std::map<std::string, std::string> after = snapshot(dir.path);
  std::vector<std::string> may_change;
  if (r.status == 0) {
    may_change = {base + ".lst", base + ".hex"};
    for (const std::string& name : may_change) {
      EXPECT_TRUE(after.count(name) && (!before.count(name) || after[name] != before[name]))
          << name << " was not rewritten";
    }
  } else if (const Section* leaves = find(c, "leaves")) {
    may_change = words(leaves->arg + " " + leaves->text);
  }
  for (const std::string& name : may_change) {
    before.erase(name);
    after.erase(name);
  }
  EXPECT_EQ(after, before) << "files other than the outputs changed";

  std::string listing = dir.read(base + ".lst");
  if (r.status == 0) {
    EXPECT_EQ(listing.substr(listing.size() - 3), "\n\n\n") << "the listing's last lines";
  }
  if (const Section* s = find(c, "listing")) {
    EXPECT_EQ(without_trailing_blank_lines(listing), s->text);
  }
  const char* const parts[][3] = {{"config", "Config:\n-------\n\n", "Code:\n"},
                                  {"code", "Code:\n-----\n\n", "Symbols:\n"},
                                  {"symbols", "Symbols:\n--------\n\n", ""}};
  for (const auto& [kind, heading, next] : parts) {
    if (const Section* s = find(c, kind)) {
      EXPECT_EQ(without_trailing_blank_lines(listing_section(listing, heading, next)), s->text)
          << kind;
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
