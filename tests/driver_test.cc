// The driver: banner, usage, base names, the instruction-set search and the source opening.
#include "driver.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const char* const kIsa = "nop : 000000000000\n";
const char* const kProgram = "__FUSE equ 1\n__FUSEX equ 2\n\torg 0\n\tnop\n";

std::string done_output() {
  return pass1_header() + "Pass 2...\n\n\nDone.\n";
}

TEST(Driver, UsageStopPrintsTheBannerFirst) {
  ScratchDir dir;
  RunResult r = run_program(dir, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner() + "usage: wendrix input.asm\n(it really is that simple)\n");
}

TEST(Driver, BaseNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"PROG.ASM", "prog"},
      {"prog", "prog"},
      {"prog.s", "prog.s"},
      {"lib.asm.old/x.asm", "lib"},
      {"Dir/Sub.Asm.x", "dir/sub"},
      {"\xC4Z.asm", "\xC4z"},
      {"", ""},
  };
  for (const auto& [argument, base] : cases) EXPECT_EQ(base_name_of(argument), base) << argument;
}

TEST(Driver, SourceNamesAndOutputNames) {
  struct Case {
    std::vector<std::string> args;
    const char* source;   // file laid out
    const char* listing;  // expected output name
    const char* header;
  };
  const Case cases[] = {
      {{"PROG.ASM"}, "prog.asm", "prog.lst", "prog.asm"},
      {{"prog.s"}, "prog.s.asm", "prog.s.lst", "prog.s.asm"},
      {{"lib.asm.old/x.asm"}, "lib.asm", "lib.lst", "lib.asm"},
      {{"prog", "ignored", "too"}, "prog.asm", "prog.lst", "prog.asm"},
      // A name whose letter case matters on this file system is found as written.
      {{"Src/Prog.asm"}, "Src/Prog.asm", "Src/Prog.lst", "Src/Prog.asm"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.write("inst.dat", kIsa);
    dir.write(c.source, kProgram);
    RunResult r = run_program(dir, c.args);
    EXPECT_EQ(r.status, 0) << c.source;
    EXPECT_EQ(r.out, done_output()) << c.source;
    EXPECT_EQ(dir.read(c.listing).substr(0, 23 + std::string(c.header).size()),
              std::string("Wendrix output from: [") + c.header + "]")
        << c.source;
    std::string hex = c.listing;
    hex.replace(hex.size() - 3, 3, "hex");
    EXPECT_TRUE(dir.exists(hex)) << c.source;
  }
}

TEST(Driver, SourceThatCannotBeOpened) {
  const std::pair<const char*, const char*> cases[] = {
      {"missing", "error opening [missing.asm]\n"},
      {"Nope.ASM", "error opening [nope.asm]\n"},
      {"adir", "error opening [adir.asm]\n"},
  };
  for (const auto& [argument, message] : cases) {
    ScratchDir dir;
    dir.write("inst.dat", kIsa);
    fs::create_directory(dir.path + "/adir.asm");
    RunResult r = run_program(dir, {argument});
    EXPECT_EQ(r.status, 1) << argument;
    EXPECT_EQ(r.out, banner() + message) << argument;
  }
}

// A copy of the program in bin/, so that "beside the program" is a place the test controls.
std::string install_copy(const ScratchDir& dir, const char* isa) {
  fs::create_directories(dir.path + "/bin");
  fs::copy_file(WENDRIX_EXE, dir.path + "/bin/wendrix");
  if (isa) dir.write("bin/inst.dat", isa);
  return dir.path + "/bin/wendrix";
}

TEST(Driver, InstructionSetSearch) {
  const char* const other_isa = "halt : 000000000011\n";
  struct Case {
    const char* name;
    const char* here;    // inst.dat in the working directory, or none
    const char* beside;  // inst.dat beside the program, or none
    const char* source;
    int status;
    std::string out;
  };
  const std::string halt_source = "__FUSE equ 1\n__FUSEX equ 2\n\torg 0\n\thalt\n";
  const Case cases[] = {
      {"working directory first", kIsa, other_isa, kProgram, 0, done_output()},
      {"beside the program", nullptr, other_isa, halt_source.c_str(), 0, done_output()},
      {"a malformed file here falls back", "halt 000\n", other_isa, halt_source.c_str(), 0,
       done_output()},
      {"a bad letter here falls back", "halt k8 : q0\n", other_isa, halt_source.c_str(), 0,
       done_output()},
      {"neither", nullptr, nullptr, kProgram, 1, banner() + "can't read inst.dat"},
      {"neither loads", "x\n", "y\n", kProgram, 1, banner() + "can't read inst.dat"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::string program = install_copy(dir, c.beside);
    if (c.here) dir.write("inst.dat", c.here);
    dir.write("t.asm", c.source);
    RunResult r = run_program(dir, {"t"}, program);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
  }
}

TEST(Driver, InstructionSetBesideAProgramStartedThroughPath) {
  ScratchDir dir;
  install_copy(dir, kIsa);
  fs::create_directory(dir.path + "/work");
  dir.write("work/t.asm", kProgram);
  std::string command = "cd '" + dir.path + "/work' && PATH='" + dir.path +
                        "/bin':\"$PATH\" wendrix t > out.txt 2>&1; echo $? > status.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(dir.read("work/status.txt"), "0\n");
  EXPECT_EQ(dir.read("work/out.txt"), done_output());
}

TEST(Driver, SecondPathIsJoinedWithASlash) {
  EXPECT_EQ(second_instruction_path("/usr/local/bin/wendrix"), "/usr/local/bin/inst.dat");
  EXPECT_EQ(second_instruction_path("bin\\wendrix"), "bin/inst.dat");
  EXPECT_EQ(second_instruction_path("./wendrix"), "./inst.dat");
  // No separator after the first character: the program's own directory.
  std::string own = second_instruction_path("wendrix");
  EXPECT_EQ(own, fs::path(own).parent_path().string() + "/inst.dat");
  EXPECT_TRUE(fs::path(own).is_absolute());
  // The first character is never a separator: "/wendrix" names no directory either.
  EXPECT_EQ(second_instruction_path("/wendrix"), own);
}

TEST(Driver, RunsRepeatInOneProcess) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  dir.write("t.asm", kProgram);
  dir.write("bad.asm", "\tbogus\n");
  for (int i = 0; i < 3; ++i) {
    RunResult bad = run_in_process(dir, {"bad"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, pass1_header() + "[bad.asm : 1] bad instruction\n");
    RunResult good = run_in_process(dir, {"t"});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, done_output());
  }
  // A stop inside an include file leaves nothing open or pointed at for the next run.
  dir.write("inc.asm", "#include \"deep.inc\"\n");
  dir.write("deep.inc", "\tbogus\n#include \"missing.inc\"\n");
  RunResult stop = run_in_process(dir, {"inc"});
  EXPECT_EQ(stop.out, pass1_header() + "[deep.inc : 1] bad instruction\n" +
                          "[deep.inc : 2] can't open include file\n");
  RunResult good = run_in_process(dir, {"t"});
  EXPECT_EQ(good.out, done_output());
}

// Every include file is closed when it ends: far more files one after another than a process
// may hold open at once.
TEST(Driver, ManyIncludesOneAfterAnother) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  std::string main = kProgram;
  for (int i = 0; i < 300; ++i) main += "#include \"i.inc\"\n";
  dir.write("t.asm", main);
  dir.write("i.inc", "; nothing\n");
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  RunResult r = run_in_process(dir, {"t"});
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, done_output());
}

}  // namespace
