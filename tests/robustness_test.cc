// Bad and extreme inputs: each gets its message and status, and only the files it should.
// docs/robustness.md lists the same table.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const char* const kIsa = "nop : 000000000000\ngoto k9 : 101 k8-0\nlit k12 : k11-0\n";
const std::string kFuses = "__FUSE equ 0\n__FUSEX equ 0\n";

struct Case {
  const char* name;
  void (*lay_out)(const ScratchDir& dir);
  int status;
  std::string tail;  // the console output after the banner, or the part that must appear
  bool whole;        // tail is the whole rest of the output (else it must end the output)
  bool outputs;      // t.lst and t.hex exist afterwards
};

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const Case kCases[] = {
    {"source is a directory", [](const ScratchDir& d) { fs::create_directory(d.path + "/t.asm"); },
     1, "error opening [t.asm]\n", true, false},
    {"source cannot be read after it was opened",
     [](const ScratchDir& d) { fs::create_symlink("/proc/self/mem", d.path + "/t.asm"); }, 1,
     "\nPass 1...\nerror reading [t.asm]\n", true, false},
    {"include is a directory",
     [](const ScratchDir& d) {
       fs::create_directory(d.path + "/d.inc");
       d.write("t.asm", "#include \"d.inc\"\n");
     },
     1, "\nPass 1...\n[t.asm : 1] can't open include file\n", true, false},
    {"include cannot be read",
     [](const ScratchDir& d) {
       fs::create_symlink("/proc/self/mem", d.path + "/m.inc");
       d.write("t.asm", "\tnop\n#include \"m.inc\"\n");
     },
     1, "\nPass 1...\nerror reading [m.inc]\n", true, false},
    {"inst.dat is a directory",
     [](const ScratchDir& d) {
       fs::create_directory(d.path + "/inst.dat");
       d.write("t.asm", kFuses);
     },
     1, "can't read inst.dat", true, false},
    {"inst.dat cannot be read",
     [](const ScratchDir& d) { fs::create_symlink("/proc/self/mem", d.path + "/inst.dat"); }, 1,
     "error reading [inst.dat]\n", true, false},
    {"binary and NUL bytes in the source",
     [](const ScratchDir& d) {
       d.write("t.asm", kFuses + std::string("\torg 0\n\tnop\0\xff\xfe\n\t\x01\x80\x7f\n", 20));
     },
     1, "\nPass 1...\n[t.asm : 5] bad instruction\n", true, false},
    {"NUL bytes in inst.dat",
     [](const ScratchDir& d) {
       d.write("inst.dat", std::string("nop : 000000000000\0garbage 1111\n", 32));
       d.write("t.asm", kFuses + "\torg 0\n\tnop\n");
     },
     0, "\nDone.\n", false, true},
    {"a line of 100,000 characters",
     [](const ScratchDir& d) {
       d.write("t.asm", kFuses + "\tnop" + std::string(100000, ' ') + "\n");
     },
     0, "\nDone.\n", false, true},
    {"include nesting past 16 levels",
     [](const ScratchDir& d) {
       for (int i = 0; i < 20; ++i) {
         d.write("n" + std::to_string(i) + ".inc",
                 "#include \"n" + std::to_string(i + 1) + ".inc\"\n");
       }
       d.write("t.asm", "#include \"n0.inc\"\n");
     },
     1, "\nPass 1...\n[n14.inc : 1] too many nested include files\n", true, false},
    {"self inclusion", [](const ScratchDir& d) { d.write("t.asm", "#include \"t.asm\"\n"); }, 1,
     "\nPass 1...\n[t.asm : 1] too many nested include files\n", true, false},
    {"100,000 statements",
     [](const ScratchDir& d) {
       d.write("t.asm", kFuses + "\torg 0\n" + repeat("\tnop\n", 100000));
     },
     0, "[t.asm : 100003] WARNING - code emitted outside legal program memory\n\n\nDone.\n", false,
     true},
    {"10,000 distinct symbols",
     [](const ScratchDir& d) {
       std::string s = kFuses;
       for (int i = 0; i < 10000; ++i)
         s += "s" + std::to_string(i) + " equ " + std::to_string(i) + "\n";
       d.write("t.asm", s);
     },
     0, "\nDone.\n", false, true},
    {"deep parentheses and a long unary chain",
     [](const ScratchDir& d) {
       d.write("t.asm", kFuses + "\torg 0\n\tlit " + std::string(500, '(') + "1" +
                            std::string(500, ')') + "\n\tlit " + repeat("-~", 500) + "7\n");
     },
     0, "\nDone.\n", false, true},
    {"expressions that overflow",
     [](const ScratchDir& d) {
       d.write("t.asm", kFuses +
                            "\torg 0\n\tlit $7FFFFFFF+1\n\tlit 65536*65536*3\n"
                            "\tlit -2147483648/-1\n\tlit -2147483648%-1\n\tlit 99999999999999\n");
     },
     0, "\nDone.\n", false, true},
    {"ds counts that wrap the location counter",
     [](const ScratchDir& d) {
       d.write("t.asm",
               kFuses + "\torg 0\n\tds $7FFFFFFF\n\tds $7FFFFFFF\n\tds 3\nhere\tgoto here\n");
     },
     0, "\nDone.\n", false, true},
    {"a definition of 13 bits",
     [](const ScratchDir& d) {
       d.write("inst.dat", "nop : 0000000000000\n");
       d.write("t.asm", kFuses);
     },
     1, "can't read inst.dat", true, false},
    {"an inst.dat of 5,000 lines",
     [](const ScratchDir& d) {
       std::string isa;
       for (int i = 0; i < 5000; ++i) isa += "op" + std::to_string(i) + " k8 : 1111 k7-0\n";
       d.write("inst.dat", isa + kIsa);
       d.write("t.asm", kFuses + "\torg 0\n\top4999 1\n\tnop\n");
     },
     0, "\nDone.\n", false, true},
    {"a listing that cannot be created",
     [](const ScratchDir& d) { fs::create_directory(d.path + "/t.lst"); }, 1,
     "Pass 2...\ncan't create [t.lst]\n", false, false},
    {"a hex file that cannot be created",
     [](const ScratchDir& d) { fs::create_directory(d.path + "/t.hex"); }, 1,
     "Pass 2...\ncan't open [t.hex]\n", false, false},
    {"a write that fails",
     [](const ScratchDir& d) { fs::create_symlink("/dev/full", d.path + "/t.lst"); }, 1,
     "Pass 2...\nerror writing [t.lst]\n", false, false},
};

TEST(Robustness, BadInputs) {
  for (const Case& c : kCases) {
    ScratchDir dir;
    c.lay_out(dir);
    // Whatever the case did not lay out itself is a plain, valid file.
    for (const auto& [name, content] : {std::pair{"inst.dat", kIsa}, {"t.asm", kFuses.c_str()}}) {
      if (!fs::exists(fs::symlink_status(dir.path + "/" + name))) dir.write(name, content);
    }
    RunResult r = run_program(dir, {"t"});
    EXPECT_EQ(r.status, c.status) << c.name;
    if (c.whole) {
      EXPECT_EQ(r.out, banner() + c.tail) << c.name;
    } else {
      ASSERT_GE(r.out.size(), c.tail.size()) << c.name;
      EXPECT_EQ(r.out.substr(r.out.size() - c.tail.size()), c.tail) << c.name;
    }
    bool regular_lst = fs::is_regular_file(dir.path + "/t.lst");
    bool regular_hex = fs::is_regular_file(dir.path + "/t.hex");
    EXPECT_EQ(regular_hex, c.outputs) << c.name;
    if (c.outputs) {
      EXPECT_TRUE(regular_lst) << c.name;
    }
  }
}

TEST(Robustness, WrappedCounterPlacesCodeAtTheWrappedAddress) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  dir.write("t.asm", kFuses + "\torg 0\n\tds $7FFFFFFF\n\tds $7FFFFFFF\n\tds 3\nhere\tgoto here\n");
  ASSERT_EQ(run_program(dir, {"t"}).status, 0);
  EXPECT_NE(dir.read("t.lst").find("[001] a01 here             goto             here\n"),
            std::string::npos);
}

}  // namespace
