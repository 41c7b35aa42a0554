// The shipped examples assemble to the listings checked by hand, and their hex files agree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void copy_examples(const ScratchDir& dir) {
  for (const auto& entry : fs::directory_iterator(WENDRIX_EXAMPLES)) {
    fs::copy_file(entry.path(), fs::path(dir.path) / entry.path().filename());
  }
}

// The words of the code memory, read back from the hex file's data records.
std::vector<unsigned> hex_words(const std::string& hex) {
  std::vector<unsigned> words;
  std::istringstream in(hex);
  std::string line;
  while (std::getline(in, line)) {
    if (line.substr(7, 2) != "00" || line.substr(3, 4) == "2020") continue;
    for (size_t i = 9; i + 4 < line.size(); i += 4) {
      words.push_back(std::stoul(line.substr(i + 2, 2) + line.substr(i, 2), nullptr, 16));
    }
  }
  return words;
}

TEST(Examples, Blink) {
  ScratchDir dir;
  copy_examples(dir);
  RunResult r = run_program(dir, {"blink.asm"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, pass1_header() + "Pass 2...\n\n\nDone.\n");
  EXPECT_EQ(dir.read("blink.lst"), read_file(std::string(TEST_DATA) + "/blink.lst"));
  std::vector<unsigned> words = hex_words(dir.read("blink.hex"));
  ASSERT_EQ(words.size(), 2048u);
  const unsigned program[] = {0xC05, 0x031, 0x211, 0x90E, 0x026, 0x909, 0x2F1, 0xA02, 0xA00, 0xCFF,
                              0x030, 0x2F0, 0xA0B, 0x002, 0x1E2, 0x808, 0x800, 0x808, 0x800, 0x808};
  for (unsigned a = 0; a < 2048; ++a) {
    EXPECT_EQ(words[a], a < std::size(program) ? program[a] : 0x0FFFu) << "word " << a;
  }
}

TEST(Examples, PagesWarns) {
  ScratchDir dir;
  copy_examples(dir);
  RunResult r = run_program(dir, {"pages"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, pass1_header() +
                       "Pass 2...\n"
                       "[pages.asm : 8] WARNING - target code page not same as source code page\n"
                       "[pages.asm : 17] WARNING - target for call is in second half of code page\n"
                       "\n\nDone.\n");
  EXPECT_EQ(dir.read("pages.lst"), read_file(std::string(TEST_DATA) + "/pages.lst"));
  std::string hex = dir.read("pages.hex");
  EXPECT_EQ(std::count(hex.begin(), hex.end(), '\n'), 130);
  EXPECT_NE(hex.find(":04202000FF0FFF0FA0\n"), std::string::npos);
}

}  // namespace
