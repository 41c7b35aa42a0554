// What docs/lint.md tells a user to paste, run on real output: vim's errorformat in vim, the VS
// Code problem matcher's pattern, and the Makefile recipe with make.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The lines of the guide that follow `marker`, each without its indentation, up to the first
// line that is less indented than the first.
std::string block_after(const std::string& doc, const std::string& marker) {
  std::istringstream in(doc.substr(doc.find(marker) + marker.size()));
  std::string line, block;
  size_t indent = std::string::npos;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (line.empty() && indent == std::string::npos) continue;
    size_t own = line.find_first_not_of(' ');
    if (indent == std::string::npos) indent = own;
    if (!line.empty() && (own == std::string::npos || own < indent)) break;
    block += (line.empty() ? "" : line.substr(indent)) + "\n";
  }
  return block;
}

const char* const kIsa = "nop : 000000000000\nadd f5 \"a\" : 000111 0 f4-0\n";
// A note, two warnings and two errors (" a" matches no literal), at these positions, worked out
// from the program.
const char* const kProgram =
    "__FUSE\tequ\t0\n__FUSEX\tequ\t0\nX\tequ\t1\n\torg\t0\nnop\n"
    "\tadd\t5, a\n\tbogus\n";
const char* const kExpected = "t.asm:3:1:n\nt.asm:5:1:w\nt.asm:6:2:e\nt.asm:6:8:w\nt.asm:7:2:e\n";

struct Docs : testing::Test {
  ScratchDir dir;
  std::string doc = read_file(WENDRIX_DOCS "/lint.md");
  std::string lint = fs::path(WENDRIX_EXE).parent_path() / "wendrix-lint";
  void SetUp() override {
    dir.write("inst.dat", kIsa);
    dir.write("t.asm", kProgram);
    ASSERT_EQ(run_shell(dir, lint + " --unused t > out.txt").status, 1);
  }
};

// vim's errorformat, in vim, and the VS Code problem matcher's pattern read the same findings.
TEST_F(Docs, EditorPatternsReadEveryFindingAndNothingElse) {
  size_t efm = doc.find(":set errorformat=");
  ASSERT_NE(efm, std::string::npos);
  dir.write("read.vim", doc.substr(efm + 1, doc.find('\n', efm) - efm) +
                            "cgetfile out.txt\n"
                            "call writefile(map(filter(getqflist(), 'v:val.valid'), "
                            "'bufname(v:val.bufnr).\":\".v:val.lnum.\":\".v:val.col.\":\"."
                            "v:val.type'), 'qf.txt')\nqa!\n");
  run_shell(dir, "vim -N -u NONE -i NONE -es -S read.vim");
  EXPECT_EQ(dir.read("qf.txt"), kExpected);

  std::smatch m;
  ASSERT_TRUE(std::regex_search(doc, m, std::regex("\"regexp\": \"(.*)\",")));
  std::string pattern = std::regex_replace(m[1].str(), std::regex(R"(\\\\)"), "\\");
  std::istringstream out(dir.read("out.txt"));
  std::string line, found;
  while (std::getline(out, line)) {
    if (std::regex_match(line, m, std::regex(pattern))) {
      found += m[1].str() + ":" + m[2].str() + ":" + m[3].str() + ":" + m[4].str()[0] + "\n";
    }
  }
  EXPECT_EQ(found, kExpected);
}

TEST_F(Docs, MakefileRecipeBuildsACorrectMultiPageProgram) {
  std::string makefile =
      block_after(doc, "let the outputs depend on every file the assembly reads:");
  fs::copy_file(WENDRIX_EXAMPLES "/pages.asm", dir.path + "/prog.asm");
  fs::copy_file(WENDRIX_EXAMPLES "/inst.dat", dir.path + "/inst.dat",
                fs::copy_options::overwrite_existing);
  dir.write("Makefile", makefile);
  std::string path = "PATH=\"" + fs::path(WENDRIX_EXE).parent_path().string() + ":$PATH\"";
  RunResult r = run_shell(dir, path + " make prog.hex 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(dir.path + "/prog.hex")) << r.out;
  EXPECT_EQ(dir.read("prog.d"), "prog.hex prog.lst prog.d: prog.asm inst.dat\n");
  // The program gains an include file, which then gains one of its own: an edit of that last
  // one still reaches the hex file, because the rule was made again when its includer changed.
  // File times tick coarsely: each step first makes every file older than the edit to come.
  auto age = [&] { run_shell(dir, "touch -d '10 seconds ago' *"); };
  age();
  dir.write("prog.asm", dir.read("prog.asm") + "#include \"a.inc\"\n");
  dir.write("a.inc", "; nothing yet\n");
  r = run_shell(dir, path + " make prog.hex 2>&1");
  EXPECT_EQ(dir.read("prog.d"), "prog.hex prog.lst prog.d: prog.asm a.inc inst.dat\n") << r.out;
  age();
  dir.write("a.inc", "#include \"c.inc\"\n");
  dir.write("c.inc", "\torg\t$7F0\n\tnop\n");
  r = run_shell(dir, path + " make prog.hex 2>&1");
  EXPECT_EQ(dir.read("prog.d"), "prog.hex prog.lst prog.d: prog.asm a.inc c.inc inst.dat\n");
  std::string before = dir.read("prog.hex");
  age();
  dir.write("c.inc", "\torg\t$7F0\n\tret\n");
  r = run_shell(dir, path + " make prog.hex 2>&1");
  EXPECT_NE(dir.read("prog.hex"), before) << r.out;
}

}  // namespace
