// What a case file holds badly: generated large inputs, and one hex file built byte for byte by
// an independent writer (every case's hex file is read back by the runner's own reader).
#include <gtest/gtest.h>

#include <cstdio>

#include "test_util.h"

namespace {

const char* const kIsa = "nop : 000000000000\ngoto k9 : 101 k8-0\nlit k12 : k11-0\n";
const std::string kFuses = "__FUSE equ 0\n__FUSEX equ 0\n";
const std::string kPass1 = banner() + "\nPass 1...\n";
const std::string kDone = "Pass 2...\n\n\nDone.\n";

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Big {
  const char* name;
  std::string isa, source, console;  // console after "Pass 1..."
  std::vector<std::pair<std::string, std::string>> files;
};

std::vector<Big> big_cases() {
  std::vector<Big> cases;
  // Fifteen levels below the main source are fine; the sixteenth is not.
  std::vector<std::pair<std::string, std::string>> nested;
  for (int i = 1; i <= 16; ++i) {
    std::string next = "#include \"l" + std::to_string(i + 1) + ".inc\"\n";
    nested.push_back({"l" + std::to_string(i) + ".inc", i < 15    ? next
                                                        : i == 15 ? "\tbogus\n" + next
                                                                  : "\tnop\n"});
  }
  cases.push_back({"include levels", kIsa, "#include \"l1.inc\"\n",
                   "[l15.inc : 1] bad instruction\n[l15.inc : 2] too many nested include files\n",
                   nested});
  cases.push_back({"binary bytes and a NUL",
                   kIsa,
                   kFuses + std::string("\torg 0\n\tnop\0\xff\xfe\n\t\x01\x80\x7f\n", 20),
                   "[t.asm : 5] bad instruction\n",
                   {}});
  cases.push_back({"a line of 100,000 characters",
                   kIsa,
                   kFuses + "\torg 0\n\tnop" + std::string(100000, ' ') + "\n",
                   kDone,
                   {}});
  cases.push_back({"a source line is read in pieces of 1022",
                   kIsa,
                   "\tnop" + std::string(1018, ' ') + "\tbogus\n\tbad3\n",
                   "[t.asm : 2] bad instruction\n[t.asm : 3] bad instruction\n",
                   {}});
  // Every word past 0x7FF draws its warning: statements 2,049 to 100,000, on lines 2,052 on.
  std::string outside = "Pass 2...\n";
  for (int line = 2052; line <= 100003; ++line) {
    outside += "[t.asm : " + std::to_string(line) +
               "] WARNING - code emitted outside legal program memory\n";
  }
  cases.push_back({"100,000 statements",
                   kIsa,
                   kFuses + "\torg 0\n" + repeat("\tnop\n", 100000),
                   outside + "\n\nDone.\n",
                   {}});
  std::string defs;
  for (int i = 0; i < 5000; ++i) defs += "op" + std::to_string(i) + " k8 : 1111 k7-0\n";
  cases.push_back(
      {"5,000 definitions", defs + kIsa, kFuses + "\torg 0\n\top4999 1\n\tnop\n", kDone, {}});
  cases.push_back({"500 parentheses deep; 1,000 unary operators",
                   kIsa,
                   kFuses + "\torg 0\n\tlit " + std::string(500, '(') + "1" +
                       std::string(500, ')') + "\n\tlit " + repeat("-~", 500) + "7\n",
                   kDone,
                   {}});
  return cases;
}

TEST(Big, Inputs) {
  for (const Big& c : big_cases()) {
    ScratchDir dir;
    dir.write("inst.dat", c.isa);
    dir.write("t.asm", c.source);
    for (const auto& [name, content] : c.files) dir.write(name, content);
    RunResult r = run_in_process(dir, {"/nonexistent/wendrix", "t"});
    // Compared as a whole, shown only where they part.
    std::string expected = kPass1 + c.console;
    size_t at = std::mismatch(r.out.begin(), r.out.end(), expected.begin(), expected.end()).first -
                r.out.begin();
    EXPECT_EQ(r.out.substr(at, 200), expected.substr(std::min(at, expected.size()), 200))
        << c.name << " at " << at;
    EXPECT_EQ(r.status, c.console.ends_with("Done.\n") ? 0 : 1) << c.name;
  }
}

// Enough expression nodes that every kind of node, an operator whose left operand is a leaf, an
// operator and a leaf among them, lands at every place around the ends of the storage blocks:
// each word is still the value of its whole chain, worked out here.
TEST(Big, ExpressionTreesAcrossBlockEnds) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  std::string source = kFuses + "c0 equ 1\n";
  uint32_t value = 1;
  const int n = 9000;
  for (int i = 1; i < n; ++i) {
    source += "c" + std::to_string(i) + " equ (c" + std::to_string(i - 1) + " * 3 + 1) & $FFFF\n";
    value = (value * 3 + 1) & 0xFFFF;
  }
  source += "\torg 0\n\tlit c" + std::to_string(n - 1) + " & $FFF\n\tlit 2-c" +
            std::to_string(n - 1) + "/7\n";
  dir.write("t.asm", source);
  ASSERT_EQ(run_in_process(dir, {"/nonexistent/wendrix", "t"}).status, 0);
  char words[64];
  std::snprintf(words, sizeof words, "[000] %03x", value & 0xFFF);
  EXPECT_NE(dir.read("t.lst").find(words), std::string::npos) << words;
  std::snprintf(words, sizeof words, "[001] %03x", (2 - value / 7) & 0xFFF);
  EXPECT_NE(dir.read("t.lst").find(words), std::string::npos) << words;
}

// An Intel HEX record, built here independently of the program.
std::string record(std::vector<unsigned> bytes) {
  unsigned sum = 0;
  for (unsigned b : bytes) sum += b;
  bytes.push_back((0x100 - (sum & 0xFF)) & 0xFF);  // the checksum
  std::string line = ":";
  char buffer[4];
  for (unsigned b : bytes) line += (std::snprintf(buffer, sizeof buffer, "%02X", b & 0xFF), buffer);
  return line + "\n";
}

TEST(Big, HexFileByteForByte) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  dir.write("t.asm",
            "__FUSE equ $1ABC\n__FUSEX equ $1FF\n\torg 5\n\tlit $A3C\n"
            "\torg $1FF\n\tgoto $100\n\tlit $950\n\torg $7FF\n\tlit -1\n");
  ASSERT_EQ(run_in_process(dir, {"/nonexistent/wendrix", "t"}).status, 0);
  unsigned words[2048];
  for (unsigned& w : words) w = 0x0FFF;
  words[5] = 0xA3C, words[0x1FF] = 0xB00, words[0x200] = 0x950, words[0x7FF] = 0xFFF;
  std::string hex;
  for (unsigned a = 0; a < 2048; a += 16) {
    std::vector<unsigned> bytes = {0x20, (2 * a) >> 8, (2 * a) & 0xFF, 0};
    for (unsigned w = a; w < a + 16; ++w)
      bytes.insert(bytes.end(), {words[w] & 0xFF, words[w] >> 8});
    hex += record(bytes);
  }
  hex += record({4, 0x20, 0x20, 0, 0xBC, 0x0A, 0xFF, 0x01}) + record({0, 0, 0, 1});
  EXPECT_EQ(dir.read("t.hex"), hex);
}

}  // namespace
