// Pass 2 and output end to end: console, exit status, listing and hex file, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "test_util.h"

namespace {

const char* const kIsa =
    "nop          : 000000000000\n"
    "load \"a\" d8  : 1010 d7-0\n"
    "move r5 s1   : 011001 s0 r4-0\n"
    "goto k9      : 101 k8-0\n"
    "call k8      : 1001 k7-0\n";

const char* const kFuses = "__FUSE equ 0\n__FUSEX equ 0\n";

RunResult assemble(ScratchDir& dir, const std::string& source) {
  dir.write("inst.dat", kIsa);
  dir.write("t.asm", source);
  return run_program(dir, {"t"});
}

// An Intel HEX record, built here independently of the program.
std::string record(std::vector<unsigned> bytes) {
  unsigned sum = 0;
  std::string line = ":";
  char buffer[4];
  for (unsigned b : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X", b & 0xFF);
    line += buffer;
    sum += b;
  }
  std::snprintf(buffer, sizeof buffer, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + buffer + "\n";
}

std::string empty_code_record(unsigned word_address) {
  std::vector<unsigned> bytes = {0x20, (2 * word_address) >> 8, (2 * word_address) & 0xFF, 0};
  for (int i = 0; i < 16; ++i) {
    bytes.push_back(0xFF);
    bytes.push_back(0x0F);
  }
  return record(bytes);
}

const std::string kListingHead = "Wendrix output from: [t.asm]\n\n\nConfig:\n-------\n\n";
const std::string kCodeHead = "\n\nCode:\n-----\n\n";
const std::string kSymbolsHead = "\n\nSymbols:\n--------\n\n";

TEST(Pass2, WorkedProgramListingAndHex) {
  ScratchDir dir;
  RunResult r = assemble(dir,
                         "__FUSE  equ $1ABC\n"
                         "__FUSEX equ LAST\n"
                         "        org 5\n"
                         "start   load a,60          ; A3C at 5\n"
                         "        move 9,1\n"
                         "pad     ds  2\n"
                         "        goto start\n"
                         "        org $1FF\n"
                         "LAST    goto $200\n"
                         "        call $150\n"
                         "        org 5\n"
                         "        nop\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, pass1_header() +
                       "Pass 2...\n"
                       "[t.asm : 9] WARNING - target code page not same as source code page\n"
                       "[t.asm : 10] WARNING - target code page not same as source code page\n"
                       "[t.asm : 10] WARNING - target for call is in second half of code page\n"
                       "[t.asm : 12] WARNING - code overlaps existing code\n"
                       "\n\nDone.\n");
  EXPECT_EQ(dir.read("t.lst"), kListingHead + "FUSE  : [$abc]\nFUSEX : [$1ff]\n" + kCodeHead +
                                   "\n"
                                   "[005] a3c start            load             a,60\n"
                                   "[006] 669                  move             9,1\n"
                                   "\n"
                                   "[009] a05                  goto             start\n"
                                   "\n"
                                   "[1ff] a00 LAST             goto             $200\n"
                                   "[200] 950                  call             $150\n"
                                   "\n"
                                   "[005] 000                  nop              \n" +
                                   kSymbolsHead +
                                   "__FUSE                $1abc\n"
                                   "LAST                  $01ff\n"
                                   "__FUSEX               $01ff\n"
                                   "start                 $0005\n"
                                   "pad                   $0007\n"
                                   "\n\n");
  std::string hex;
  for (unsigned a = 0; a < 2048; a += 16) {
    if (a == 0) {
      hex += ":20000000FF0FFF0FFF0FFF0FFF0F00006906FF0FFF0F050AFF0FFF0FFF0FFF0FFF0FFF0FAC\n";
    } else if (a == 0x1F0) {
      hex += ":2003E000FF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0F000A21\n";
    } else if (a == 0x200) {
      hex += ":200400005009FF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0FB1\n";
    } else {
      hex += empty_code_record(a);
    }
  }
  hex += ":04202000BC0AFF01F6\n:00000001FF\n";
  EXPECT_EQ(dir.read("t.hex"), hex);
}

TEST(Pass2, HexFileReadsBackWithAnIndependentReader) {
  if (std::system("command -v objcopy >/dev/null 2>&1") != 0) GTEST_SKIP() << "no objcopy";
  ScratchDir dir;
  RunResult r = assemble(dir, std::string(kFuses) +
                                  "\torg $10\n\tload a,$3C\n\tgoto $1FF\n"
                                  "\torg $7FF\n\tmove 31,1\n");
  ASSERT_EQ(r.status, 0);
  std::string cmd = "cd '" + dir.path + "' && objcopy -I ihex -O binary t.hex t.bin";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string bin = dir.read("t.bin");
  ASSERT_EQ(bin.size(), 0x2024u);  // code image plus the configuration words at 0x2020
  auto word = [&bin](unsigned address) {
    return static_cast<unsigned>(static_cast<unsigned char>(bin[2 * address])) |
           static_cast<unsigned>(static_cast<unsigned char>(bin[2 * address + 1])) << 8;
  };
  EXPECT_EQ(word(0x10), 0xA3Cu);
  EXPECT_EQ(word(0x11), 0xBFFu);
  EXPECT_EQ(word(0x7FF), 0x67Fu);
  EXPECT_EQ(word(0x12), 0x0FFFu);
  EXPECT_EQ(word(0), 0x0FFFu);
  EXPECT_EQ(word(0x1010), 0u);
  EXPECT_EQ(word(0x1011), 0u);
}

struct ListingCase {
  const char* name;
  std::string source;  // fuses are added in front
  std::string warnings;
  std::string code;
  std::string symbols;
};

TEST(Pass2, ListingLayout) {
  const ListingCase cases[] = {
      {"bare labels do not break a block; ds 0 and org to the next address neither",
       "\torg 0\n\tnop\nhere\n\tnop\n\tds 0\n\tnop\n\torg 3\n\tnop\n\tds 1\n\tnop\n", "",
       "\n[000] 000                  nop              \n          here\n"
       "[001] 000                  nop              \n[002] 000                  nop              "
       "\n"
       "[003] 000                  nop              \n\n[005] 000                  nop             "
       " \n",
       "__FUSE                $0000\n__FUSEX               $0000\nhere                  $0001\n"},
      {"no org: unknown addresses, listed with [???] and never stored", "L1\tnop\n\tgoto 7\nL2\n",
       "[t.asm : 3] WARNING - code emitted at undefined address\n"
       "[t.asm : 4] WARNING - code emitted at undefined address\n",
       "[???] 000 L1               nop              \n[???] a07                  goto             "
       "7\n"
       "          L2\n",
       "__FUSE                $0000\n__FUSEX               $0000\nL1                    ????\n"
       "L2                    ????\n"},
      {"outside memory, negative address, and the empty line after [???]",
       "\torg $7FF\n\tnop\n\tnop\n\torg -1\n\tnop\n",
       "[t.asm : 5] WARNING - code emitted outside legal program memory\n"
       "[t.asm : 7] WARNING - code emitted outside legal program memory\n",
       "\n[7ff] 000                  nop              \n[800] 000                  nop             "
       " \n"
       "\n[ffffffff] 000                  nop              \n",
       "__FUSE                $0000\n__FUSEX               $0000\n"},
      {"long labels and mnemonics push the line; operands are cut to their bits",
       "\torg 0\nthis_label_is_long_ LOAD a , $7FF\n\tmove -1,2\n", "",
       "\n[000] aff this_label_is_long_ LOAD             a, $7FF\n"
       "[001] 65f                  move             -1,2\n",
       "__FUSE                $0000\n__FUSEX               $0000\nthis_label_is_long_   $0000\n"},
      {"values print as eight digits when negative; symbols in entry order, known first",
       "early\nneg equ -1\nbig equ $12345\n", "", "          early\n",
       "__FUSE                $0000\n__FUSEX               $0000\nneg                   $ffffffff\n"
       "big                   $12345\nearly                 ????\n"},
      {"goto and call page rules",
       "\torg $1FF\n\tgoto $200\n\tcall $100\n\tcall $300\n"
       "\torg $180\n\tcall $010\n\torg $050\n\tcall $150\n",
       "[t.asm : 4] WARNING - target code page not same as source code page\n"
       "[t.asm : 5] WARNING - target code page not same as source code page\n"
       "[t.asm : 5] WARNING - target for call is in second half of code page\n"
       "[t.asm : 6] WARNING - target for call is in second half of code page\n"
       "[t.asm : 10] WARNING - target for call is in second half of code page\n",
       "\n[1ff] a00                  goto             $200\n[200] 900                  call        "
       "     $100\n"
       "[201] 900                  call             $300\n\n[180] 910                  call        "
       "     $010\n"
       "\n[050] 950                  call             $150\n",
       "__FUSE                $0000\n__FUSEX               $0000\n"},
  };
  for (const ListingCase& c : cases) {
    ScratchDir dir;
    RunResult r = assemble(dir, kFuses + c.source);
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, pass1_header() + "Pass 2...\n" + c.warnings + "\n\nDone.\n") << c.name;
    EXPECT_EQ(dir.read("t.lst"), kListingHead + "FUSE  : [$000]\nFUSEX : [$000]\n" + kCodeHead +
                                     c.code + kSymbolsHead + c.symbols + "\n\n")
        << c.name;
  }
}

struct ErrorCase {
  const char* name;
  std::string source;
  std::string console;  // after "Pass 2..."
};

TEST(Pass2, ErrorsStopBeforeAnyOutput) {
  const ErrorCase cases[] = {
      {"equ divides by zero", "a equ 1/0\n" + std::string(kFuses), "[t.asm : 1] divide by zero\n"},
      {"equ with two operands or none", "a equ 1,2\nb equ\n" + std::string(kFuses),
       "[t.asm : 1] bad equ expression\n[t.asm : 2] bad equ expression\n"},
      {"org with two operands or none", std::string(kFuses) + "\torg 1,2\n\torg\n",
       "[t.asm : 3] invalid org\n[t.asm : 4] invalid org\n"},
      {"ds with two operands or none", std::string(kFuses) + "\torg 0\n\tds 1,2\n\tds\n",
       "[t.asm : 4] invalid DS statement\n[t.asm : 5] invalid DS statement\n"},
      {"an operand that never resolves", std::string(kFuses) + "\torg 0\n\tgoto nowhere+other\n",
       "[t.asm : 4] symbol undefined [nowhere]\n"},
      {"equs defined by each other", "a equ b\nb equ a\n" + std::string(kFuses),
       "[t.asm : 1] symbol undefined [b]\n[t.asm : 2] symbol undefined [a]\n"},
      {"an org that depends on a label after it", std::string(kFuses) + "\torg later\nlater\tnop\n",
       "[t.asm : 3] symbol undefined [later]\n"},
      {"a label without org referred to", std::string(kFuses) + "L\tnop\n\tgoto L\n",
       "[t.asm : 4] symbol undefined [L]\n"},
      {"no configuration symbols", "\tnop\n",
       "[t.asm : 1] __FUSE has not been defined\n[t.asm : 1] __FUSEX has not been defined\n"},
      {"only __FUSEX missing", "__FUSE equ 1\n\tnop\n; trailing comment\n",
       "[t.asm : 2] __FUSEX has not been defined\n"},
      {"no statement at all", "; nothing\n\n",
       "[t.asm : 0] __FUSE has not been defined\n[t.asm : 0] __FUSEX has not been defined\n"},
      {"an operand error in an iteration that made progress lets one equ sweep report",
       std::string(kFuses) + "\torg 0\nL\tnop\nA\tequ 1/(L-L)\n",
       "[t.asm : 5] divide by zero\n[t.asm : 5] divide by zero\n"},
      {"an unlabelled equ must resolve too", std::string(kFuses) + "\tequ missing\n",
       "[t.asm : 3] symbol undefined [missing]\n"},
  };
  for (const ErrorCase& c : cases) {
    ScratchDir dir;
    dir.write("t.lst", "old listing");
    dir.write("t.hex", "old hex");
    RunResult r = assemble(dir, c.source);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, pass1_header() + "Pass 2...\n" + c.console) << c.name;
    EXPECT_EQ(dir.read("t.lst"), "old listing") << c.name;
    EXPECT_EQ(dir.read("t.hex"), "old hex") << c.name;
  }
}

TEST(Pass2, MissingFusesNameTheLastStatementEvenInAnInclude) {
  ScratchDir dir;
  dir.write("last.inc", "\tnop\n\n");
  RunResult r = assemble(dir, "__FUSE equ 3\n#include \"last.inc\"\n; done\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, pass1_header() + "Pass 2...\n[last.inc : 1] __FUSEX has not been defined\n");
}

TEST(Pass2, ForwardReferencesResolve) {
  ScratchDir dir;
  RunResult r = assemble(dir,
                         "__FUSE equ A\n__FUSEX equ size\nA equ B+1\nB equ C*2\nC equ end-start\n"
                         "\torg n\nstart\tds size\n\tnop\nend\nsize equ 3\nn equ $10\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      dir.read("t.lst"),
      kListingHead + "FUSE  : [$009]\nFUSEX : [$003]\n" + kCodeHead +
          "\n[013] 000                  nop              \n          end\n" + kSymbolsHead +
          "A                     $0009\n__FUSE                $0009\nsize                  $0003\n"
          "__FUSEX               $0003\nB                     $0008\nC                     $0004\n"
          "end                   $0014\nstart                 $0010\nn                     $0010\n"
          "\n\n");
}

// Chains written against the order of the sweeps: each link is learnt in a later sweep, cycle
// or iteration, and the results are those of the full sweeps.
TEST(Pass2, ChainsResolveAgainstTheSweepOrder) {
  ScratchDir dir;
  RunResult r =
      assemble(dir, std::string(kFuses) +
                        "a0 equ a1+1\na1 equ a2+1\na2 equ a3+1\na3 equ a4+1\na4 equ 1\n"
                        "\torg b1+1\nb0\tnop\n\torg b2+1\nb1\tnop\n\torg $10\nb2\tnop\n"
                        "\torg $20\n\tds d1-$21\nd0\tnop\n\torg $21\n\tds d2-$22\nd1\tnop\n"
                        "\torg $22\n\tds 2\nd2\tnop\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      dir.read("t.lst"),
      kListingHead + "FUSE  : [$000]\nFUSEX : [$000]\n" + kCodeHead +
          "\n[012] 000 b0               nop              \n"
          "\n[011] 000 b1               nop              \n"
          "\n[010] 000 b2               nop              \n"
          "\n[022] 000 d0               nop              \n"
          "[023] 000 d1               nop              \n"
          "[024] 000 d2               nop              \n" +
          kSymbolsHead +
          "__FUSE                $0000\n__FUSEX               $0000\na1                    $0004\n"
          "a0                    $0005\na2                    $0003\na3                    $0002\n"
          "a4                    $0001\nb1                    $0011\nb0                    $0012\n"
          "b2                    $0010\nd1                    $0023\nd0                    $0022\n"
          "d2                    $0024\n\n\n");
}

// A sweep reports what it meets in symbol order and finishes; the run stops after it, so an
// error that only a later sweep would meet is never reported.
TEST(Pass2, OnlyTheSweepThatMeetsAnErrorReports) {
  ScratchDir dir;
  RunResult r =
      assemble(dir, "x equ y/0\ny equ z\nz equ 1\nw equ v/0\nv equ z\n" + std::string(kFuses));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, pass1_header() + "Pass 2...\n[t.asm : 4] divide by zero\n");
}

TEST(Output, FilesThatCannotBeWritten) {
  {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path + "/t.lst");
    RunResult r = assemble(dir, std::string(kFuses));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, pass1_header() + "Pass 2...\ncan't create [t.lst]\n");
    EXPECT_FALSE(dir.exists("t.hex"));
  }
  {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path + "/t.hex");
    RunResult r = assemble(dir, std::string(kFuses));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, pass1_header() + "Pass 2...\ncan't open [t.hex]\n");
    EXPECT_TRUE(dir.exists("t.lst"));
  }
  if (std::filesystem::exists("/dev/full")) {
    for (const char* name : {"t.lst", "t.hex"}) {
      ScratchDir dir;
      std::filesystem::create_symlink("/dev/full", dir.path + "/" + name);
      RunResult r = assemble(dir, std::string(kFuses));
      EXPECT_EQ(r.status, 1) << name;
      EXPECT_EQ(r.out, pass1_header() + "Pass 2...\nerror writing [" + name + "]\n") << name;
    }
  }
}

}  // namespace
