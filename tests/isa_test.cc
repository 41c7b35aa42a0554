// The instruction definition loader, and how definitions encode.
#include "isa.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "diag.h"
#include "test_util.h"

namespace {

int load(const ScratchDir& dir, const std::string& content) {
  dir.write("inst.dat", content);
  return load_instruction_defs(dir.path + "/inst.dat");
}

// Bit sources as text: "1" or "0" for constants, "k:n" for bit n of operand k.
std::string bits_of(const InstructionDef& def) {
  std::string out;
  for (int i = 0; i < def.bitCount; ++i) {
    if (!out.empty()) out += ' ';
    const BitSource& b = def.bits[i];
    out += b.source < 0 ? std::to_string(b.bit)
                        : std::to_string(b.source) + ":" + std::to_string(b.bit);
  }
  return out;
}

TEST(InstructionSet, WorkedExamples) {
  ScratchDir dir;
  ASSERT_EQ(load(dir, "load \"a\" d8 : 1010 d7-0\nmove r5 s1 : 011001 s0 r4-0\n"), 0);
  const auto& table = instruction_table();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].name, "load");
  EXPECT_EQ(table[0].operandCount, 2);
  EXPECT_EQ(table[0].operands[0].isNumeric, 0);
  EXPECT_EQ(table[0].operands[0].literal, "a");
  EXPECT_EQ(table[0].operands[1].isNumeric, 1);
  EXPECT_EQ(table[0].operands[1].width, 8);
  EXPECT_EQ(bits_of(table[0]), "1 0 1 0 1:7 1:6 1:5 1:4 1:3 1:2 1:1 1:0");
  EXPECT_EQ(table[1].name, "move");
  EXPECT_EQ(table[1].operands[0].width, 5);
  EXPECT_EQ(table[1].operands[1].width, 1);
  EXPECT_EQ(bits_of(table[1]), "0 1 1 0 0 1 1:0 0:4 0:3 0:2 0:1 0:0");
}

TEST(InstructionSet, LoadResultsAndBits) {
  struct Case {
    const char* name;
    std::string content;
    int result;
    size_t count;      // definitions loaded (when the result is 0)
    const char* bits;  // bits of the last definition
  };
  const Case cases[] = {
      {"empty file", "", 0, 0, ""},
      {"blank lines only", "\n \t \n\n", 0, 0, ""},
      {"no separator", "nop 000\n", 1, 0, ""},
      {"a letter that names no operand", "op k8 : j7-0\n", 2, 0, ""},
      {"a bad line after good ones", "nop : 0\nbad\n", 1, 0, ""},
      {"no operands, no bits", "nop :\n", 0, 1, ""},
      {"separator is any token starting with a colon", "op k8 :sep k1\n", 0, 1, "0:1"},
      {"mnemonic may itself start with a colon", ": k1 : k0\n", 0, 1, "0:0"},
      {"a last line without a line feed counts", "a : 1\nb : 0", 0, 2, "0"},
      {"carriage return line ends", "a : 111111111111\r\nb : 000000000000\r", 0, 2,
       "0 0 0 0 0 0 0 0 0 0 0 0"},
      {"a NUL ends the line's text", std::string("a : 0\0 1111111111111\n", 22), 0, 1, "0"},
      {"thirteen bits fail", "a : 1111111111111\n", 1, 0, ""},
      {"thirteen bits from a range fail", "a k9 : 0000 k8-0\n", 1, 0, ""},
      {"a huge range fails without looping", "a k9 : k2000000000-0\n", 1, 0, ""},
      {"twelve bits load", "a k9 : 000 k8-0\n", 0, 1, "0 0 0 0:8 0:7 0:6 0:5 0:4 0:3 0:2 0:1 0:0"},
      {"constants: anything but 1 is 0", "a : 1x1x\n", 0, 1, "1 0 1 0"},
      {"a range written low-high gives nothing", "a k8 : 1 k0-7\n", 0, 1, "1"},
      {"a bit number that is not decimal is 0", "a k8 : kq k+2\n", 0, 1, "0:0 0:2"},
      {"the first operand with the letter wins", "a k4 k8 : k1\n", 0, 1, "0:1"},
      {"letters are compared with case", "a k4 K8 : K1 k2\n", 0, 1, "1:1 0:2"},
      {"bit numbers keep 8 bits", "a k8 : k256 k300\n", 0, 1, "0:0 0:44"},
      {"a letter may name a literal operand", "a \"w\" : \"1 1\n", 0, 1, "0:1 1"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    int result = load(dir, c.content);
    EXPECT_EQ(result, c.result) << c.name;
    if (result != 0) continue;
    EXPECT_EQ(instruction_table().size(), c.count) << c.name;
    if (c.count > 0) {
      EXPECT_EQ(bits_of(instruction_table().back()), c.bits) << c.name;
    }
  }
}

TEST(InstructionSet, LiteralTexts) {
  ScratchDir dir;
  ASSERT_EQ(load(dir, "a \" \"w\" \"abc\" \"w : 0\n"), 0);
  const InstructionDef& def = instruction_table()[0];
  ASSERT_EQ(def.operandCount, 4);
  EXPECT_EQ(def.operands[0].literal, "");  // a lone quote
  EXPECT_EQ(def.operands[1].literal, "w");
  EXPECT_EQ(def.operands[2].literal, "abc");
  EXPECT_EQ(def.operands[3].literal, "");  // the last character is taken for the quote
}

TEST(InstructionSet, LongLinesAreReadInPiecesOf1023) {
  ScratchDir dir;
  // The first piece ends in the middle of the blanks; the rest is a definition of its own.
  std::string line = "a : 1" + std::string(1018, ' ') + "b : 0\n";
  ASSERT_EQ(load(dir, line), 0);
  ASSERT_EQ(instruction_table().size(), 2u);
  EXPECT_EQ(instruction_table()[1].name, "b");
}

TEST(InstructionSet, MissingOrDirectoryFailsToLoad) {
  ScratchDir dir;
  EXPECT_EQ(load_instruction_defs(dir.path + "/none.dat"), 1);
  std::filesystem::create_directory(dir.path + "/d.dat");
  EXPECT_EQ(load_instruction_defs(dir.path + "/d.dat"), 1);
}

TEST(InstructionSet, EncodingOfOddBitSources) {
  ScratchDir dir;
  dir.write("inst.dat",
            "big k8 : k31 k32 k300 k44 k0 0000000\n"
            "wl \"w\" : 1 \"1 1 000000000\n"
            "goto \"w\" : 101000000000\n"
            "call : 100100000000\n"
            "GoTo k9 : 101 k8-0\n");
  dir.write("t.asm",
            "__FUSE equ 0\n__FUSEX equ 0\n\torg $200\n\tbig -1\n\twl w\n\tgoto W\n\tcall\n"
            "\tgoto $1ff\n");
  RunResult r = run_program(dir, {"t"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, pass1_header() +
                       "Pass 2...\n"
                       "[t.asm : 6] WARNING - target code page not same as source code page\n"
                       "[t.asm : 7] WARNING - target code page not same as source code page\n"
                       "[t.asm : 8] WARNING - target code page not same as source code page\n"
                       "\n\nDone.\n");
  std::string listing = dir.read("t.lst");
  EXPECT_NE(listing.find("[200] 880                  big              -1\n"), std::string::npos);
  EXPECT_NE(listing.find("[201] a00                  wl               w\n"), std::string::npos);
  EXPECT_NE(listing.find("[202] a00                  goto             W\n"), std::string::npos);
  EXPECT_NE(listing.find("[203] 900                  call             \n"), std::string::npos);
  EXPECT_NE(listing.find("[204] bff                  goto             $1ff\n"), std::string::npos);
}

}  // namespace
