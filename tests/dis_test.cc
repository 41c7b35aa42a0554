// wendrix-dis: an image over a small instruction set read back by hand, as source and as a
// listing; what it refuses; and round trips through wendrix, with the forms srec_cat makes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const char* const kIsa =
    "nop : 000000000000\nnone :\nmovlw k8 : 1100 k7-0\nadd f5 \"w\" : 000111 0 f4-0\n"
    "add f5 d1 : 000111 d0 f4-0\ngoto k9 : 101 k8-0\ncall k8 : 1001 k7-0\n"
    "dup k1 : 1111111111 k0 k0\ndw k12 : k11-0\n";

// The test's own Intel HEX writer: one record per word, each checksum worked out.
std::string hex_of(const std::map<unsigned, unsigned>& words, unsigned fuse, unsigned fusex) {
  std::string out;
  auto record = [&out](unsigned address, std::vector<unsigned> bytes, unsigned type) {
    char buffer[16];
    unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + (address & 255) + type;
    std::snprintf(buffer, sizeof buffer, ":%02X%04X%02X", static_cast<unsigned>(bytes.size()),
                  address, type);
    out += buffer;
    for (unsigned b : bytes)
      std::snprintf(buffer, sizeof buffer, "%02X", b), out += buffer, sum += b;
    std::snprintf(buffer, sizeof buffer, "%02X\n", (256 - sum % 256) % 256);
    out += buffer;
  };
  for (auto [address, word] : words) record(2 * address, {word & 255, word >> 8}, 0);
  record(0x2020, {fuse & 255, fuse >> 8, fusex & 255, fusex >> 8}, 0);
  record(0, {}, 1);
  return out;
}

std::string dis(const ScratchDir& dir, const std::string& args) {
  std::string exe = (fs::path(WENDRIX_EXE).parent_path() / "wendrix-dis").string();
  RunResult r = run_shell(dir, "(" + exe + " " + args + " 2>err.txt)");
  return "status " + std::to_string(r.status) + "\n" + r.out + "stderr: " + dir.read("err.txt");
}

// (A definition of no bits, which takes no word, gives none of them.) goto 3, movlw $2A, add in
// both forms (the literal one first), call 2, then after a gap a nop, a word only dw gives, and a
// goto to an address that holds no code.
const std::map<unsigned, unsigned> kImage = {
    {0x000, 0xA03}, {0x001, 0xC2A}, {0x002, 0x1C6}, {0x003, 0x1E6}, {0x004, 0x902}, {0x010, 0x000},
    {0x011, 0x3FF}, {0x012, 0xB10}, {0x013, 0xA00}, {0x014, 0xA11}, {0x015, 0xFFC}, {0x016, 0xFFE}};

TEST(Disassembler, SourceListingAndRefusals) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  // An extended address of 0 before the records is the layout's own.
  dir.write("t.hex", ":020000040000FA\n" + hex_of(kImage, 0x123, 0xFFF));
  EXPECT_EQ(dis(dir, "t.hex"),
            "status 0\n"
            "; wendrix-dis: t.hex with inst.dat\n"
            "__FUSE\tequ\t$123\n__FUSEX\tequ\t$fff\n"
            "\torg\t$000\n"
            "L_000\tgoto\tL_003\n"
            "\tmovlw\t$2A\n"
            "L_002\tadd\t$6,w\n"
            "L_003\tadd\t$6,$1\n"
            "\tcall\tL_002\n"
            "\torg\t$010\n"
            "\tnop\n"
            "L_011\tdw\t$3FF\n"
            "\tgoto\t$110\n"
            "\tgoto\tL_000\n"
            "\tgoto\tL_011\n"
            "\tdup\t$0\n"   // a bit of k0 asked twice, 0 both times
            "\tdw\t$FFE\n"  // asked 1 and 0: no value of k0 gives it
            "stderr: ");
  // Names from the original's listing: its labels on lines of code.
  dir.write("names.lst",
            "Wendrix output from: [t.asm]\n\n\nCode:\n-----\n\n"
            "[003] 1e6 loop             add              $6,$1\n[002] 1c6 h\n"
            "[011] 3ff data             dw               $3FF\n");
  EXPECT_EQ(dis(dir, "--listing --symbols names.lst t.hex"),
            "status 0\n"
            "; wendrix-dis: t.hex with inst.dat\n"
            "FUSE  : [$123]\nFUSEX : [$fff]\n\n"
            "[000] a03 L_000            goto             loop\n"
            "[001] c2a                  movlw            $2A\n"
            "[002] 1c6 h                add              $6,w\n"
            "[003] 1e6 loop             add              $6,$1\n"
            "[004] 902                  call             h\n"
            "[010] 000                  nop              \n"
            "[011] 3ff data             dw               $3FF\n"
            "[012] b10                  goto             $110\n"
            "[013] a00                  goto             L_000\n"
            "[014] a11                  goto             data\n"
            "[015] ffc                  dup              $0\n"
            "[016] ffe                  dw               $FFE\n"
            "stderr: ");
  // Names from lines "NAME ADDRESS" (with '=', '$', 0X or decimal); a name no expression can
  // use keeps the number's label, a line without an address is skipped.
  dir.write("names.txt", "start 0X0\nloop = $3\n9lives $11\ndata   \nh\t2\n");
  EXPECT_EQ(dis(dir, "--symbols names.txt t.hex"),
            "status 0\n"
            "; wendrix-dis: t.hex with inst.dat\n"
            "__FUSE\tequ\t$123\n__FUSEX\tequ\t$fff\n"
            "\torg\t$000\n"
            "start\tgoto\tloop\n"
            "\tmovlw\t$2A\n"
            "h\tadd\t$6,w\n"
            "loop\tadd\t$6,$1\n"
            "\tcall\th\n"
            "\torg\t$010\n"
            "\tnop\n"
            "L_011\tdw\t$3FF\n"
            "\tgoto\t$110\n"
            "\tgoto\tstart\n"
            "\tgoto\tL_011\n"
            "\tdup\t$0\n"
            "\tdw\t$FFE\n"
            "stderr: ");
  // Configuration words of fewer digits are padded to three; a word wider than 12 bits is no
  // instruction's.
  dir.write("cfg.hex", hex_of({{0, 0}}, 0x5, 0xA));
  EXPECT_EQ(dis(dir, "--listing cfg.hex"),
            "status 0\n; wendrix-dis: cfg.hex with inst.dat\nFUSE  : [$005]\nFUSEX : [$00a]\n\n"
            "[000] 000                  nop              \nstderr: ");
  // Images refused whole, nothing of the source printed: a word 13 bits wide; without dw, a
  // word no definition gives; a record whose data byte 2A became 3A, so that its checksum no
  // longer adds up; an address past the layout; a short record; a configuration word of 13 bits.
  dir.write("nodw/inst.dat", std::string(kIsa).substr(0, std::string(kIsa).find("dw")));
  std::string broken = hex_of({{0, 0xC2A}}, 0, 0);
  broken[9] = '3';
  const std::pair<const char*, std::string> kRefused[][2] = {
      {{"big.hex", hex_of({{0, 0x1000}}, 0, 0)},
       {"big.hex", "no definition of the instruction set gives the word 0x1000 at address 0x000"}},
      {{"nodw/t.hex", hex_of(kImage, 0, 0)},
       {"--inst nodw/inst.dat nodw/t.hex",
        "no definition of the instruction set gives the word 0x3ff at address 0x011"}},
      {{"bad.hex", broken}, {"bad.hex", "line 1: the checksum is wrong"}},
      {{"far.hex", hex_of({{0x900, 0}}, 0, 0)},
       {"far.hex", "byte address 0x1200 lies outside program memory and the configuration words"}},
      {{"short.hex", ":0000\n"}, {"short.hex", "line 1: not an Intel HEX record"}},
      {{"wide.hex", hex_of({{0, 0}}, 0x1000, 0)},
       {"wide.hex", "configuration word 0x1000 is wider than 12 bits"}},
  };
  for (const auto& [file, run] : kRefused) {
    dir.write(file.first, file.second);
    EXPECT_EQ(dis(dir, run.first), "status 1\nstderr: wendrix-dis: " + std::string(file.first) +
                                       ": " + run.second + "\n");
  }
  // The command line: help, a second file, an unknown option, files that cannot be read, "--".
  const std::string usage =
      "usage: wendrix-dis [--inst FILE] [--symbols FILE] [--listing] PROG.hex\n";
  const std::pair<const char*, std::string> kCommands[] = {
      {"-h", "status 0\n" + usage + "stderr: "},
      {"a.hex b.hex", "status 2\nstderr: wendrix-dis: one hex file at a time\n" + usage},
      {"--frob t.hex", "status 2\nstderr: wendrix-dis: bad argument '--frob'\n" + usage},
      {"missing.hex", "status 1\nstderr: wendrix-dis: cannot read missing.hex\n"},
      {"--inst none.dat t.hex",
       "status 1\nstderr: wendrix-dis: no instruction set loads (tried none.dat)\n"},
      {"--symbols none.lst t.hex", "status 1\nstderr: wendrix-dis: cannot read none.lst\n"},
  };
  for (const auto& [args, expected] : kCommands) EXPECT_EQ(dis(dir, args), expected) << args;
  EXPECT_EQ(dis(dir, "-- t.hex"), dis(dir, "t.hex"));
  EXPECT_EQ(dis(dir, ""),
            "status 2\nstderr: usage: wendrix-dis [--inst FILE] [--symbols FILE] "
            "[--listing] PROG.hex\n");
}

// The counter example, the one with a whole instruction set: assembled, read back with its
// listing's labels, assembled again to the same hex file byte for byte; then the image in the
// forms FPGA tools and simulators load, by the lines docs/dis.md gives.
TEST(Disassembler, RoundTripOfTheCounterExampleAndOtherForms) {
  ScratchDir dir;
  for (const char* name : {"inst.dat", "counter.asm", "regs.inc", "table.inc"}) {
    fs::copy_file(fs::path(WENDRIX_EXAMPLES) / "counter" / name, fs::path(dir.path) / name);
  }
  std::string exe = fs::path(WENDRIX_EXE).parent_path().string();
  RunResult r = run_shell(dir, exe + "/wendrix counter.asm >/dev/null && mkdir back && " + exe +
                                   "/wendrix-dis --symbols counter.lst counter.hex > back/back.asm"
                                   " && cp inst.dat back && cd back && " +
                                   exe +
                                   "/wendrix back.asm | tail -n 1 && cmp back.hex ../counter.hex"
                                   " && grep -c '^loop' back.asm");
  EXPECT_EQ(r.out, "Done.\n1\n");
  if (system("command -v srec_cat >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "srec_cat is not installed";
  // Words 0 and 14 of the counter: movlw 0 (c00) and goto loop (a03); word 15 is erased.
  r = run_shell(
      dir,
      // In parentheses: run_shell's own redirections would take the last pipe's input.
      "(srec_cat counter.hex -Intel -crop 0 0x1000 -byte-swap 2 -o c.mem -VMem 16 && "
      "sed -n 2,3p c.mem | cut -d' ' -f1,2 && "
      "srec_cat counter.hex -Intel -crop 0 0x1000 -byte-swap 2 -o c.mif "
      "-Memory_Initialization_File 16 && grep -E '^(DEPTH|WIDTH)|^000E:' c.mif | cut -c1-15 && "
      "srec_cat counter.hex -Intel -crop 0 0x1000 -o c.bin -Binary && wc -c < c.bin && "
      "{ printf 'memory_initialization_radix=16;\\nmemory_initialization_vector=\\n'; "
      "od -An -v -tx2 -w2 c.bin | tr -d ' ' | paste -sd, | sed 's/$/;/'; } > c.coe && "
      "sed -n 3p c.coe | cut -d, -f1,15,16)");
  EXPECT_EQ(r.out,
            "@00000000 0C00\n@0000000E 0A03\n"
            "DEPTH = 2048;\nWIDTH = 16;\n000E: 0A03 0FFF\n"
            "4096\n"
            "0c00,0a03,0fff\n");
}

}  // namespace
