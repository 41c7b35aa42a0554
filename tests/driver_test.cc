// The driver: base names, the second instruction-set path (run through PATH by the install
// check), and many runs in one process.
#include "driver.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const char* const kIsa = "nop : 000000000000\n";
const char* const kProgram = "__FUSE equ 1\n__FUSEX equ 2\n\torg 0\n\tnop\n";
const std::string kDone = banner() + "\nPass 1...\nPass 2...\n\n\nDone.\n";

RunResult run(const ScratchDir& dir, const std::string& source) {
  return run_in_process(dir, {"/nonexistent/wendrix", source});
}

TEST(Driver, BaseNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"PROG.ASM", "prog"},
      {"prog", "prog"},
      {"prog.s", "prog.s"},
      {"prog.asm.bak", "prog"},
      {"Dir/Sub.Asm.x", "dir/sub"},
      {"\xC4Z.asm", "\xC4z"},
      {"@[`{", "@[`{"},
      {"", ""},
  };
  for (const auto& [argument, base] : cases) EXPECT_EQ(base_name_of(argument), base) << argument;
}

TEST(Driver, SecondPath) {
  // Without a separator after the first character: the running program's own directory.
  const std::string own = fs::canonical("/proc/self/exe").parent_path().string() + "/inst.dat";
  const std::pair<const char*, std::string> cases[] = {
      {"bin\\wendrix", "bin/inst.dat"},
      {"./wendrix", "./inst.dat"},
      {"wendrix", own},  // found through PATH
      {"a/b\\c", "a/b/inst.dat"},
      {"/wendrix", own},
      {"", own},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(second_instruction_path(path), expected);
}

TEST(Driver, RunsRepeatInOneProcess) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  dir.write("t.asm", kProgram);
  dir.write("bad.asm", "\tbogus\n");
  // A stop inside an include file leaves nothing open or pointed at for the next run.
  dir.write("inc.asm", "#include \"deep.inc\"\n");
  dir.write("deep.inc", "\tbogus\n#include \"missing.inc\"\n");
  // The same names entered in the other order: nothing of an earlier run's symbols remains.
  dir.write("swap.asm", "__FUSEX equ 2\n__FUSE equ 1\n\torg 0\n\tnop\n");
  const std::string p1 = banner() + "\nPass 1...\n";
  EXPECT_EQ(run(dir, "t").out, kDone);
  const std::string listing = dir.read("t.lst"), hex = dir.read("t.hex");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(run(dir, "bad").out, p1 + "[bad.asm : 1] bad instruction\n");
    EXPECT_EQ(run(dir, "t").out, kDone);
    EXPECT_EQ(dir.read("t.lst"), listing);
    EXPECT_EQ(dir.read("t.hex"), hex);
    EXPECT_EQ(run(dir, "inc").out,
              p1 + "[deep.inc : 1] bad instruction\n" + "[deep.inc : 2] can't open include file\n");
    EXPECT_EQ(run(dir, "swap").out, kDone);
    const std::string swapped = dir.read("swap.lst");
    EXPECT_NE(swapped.find("FUSE  : [$001]\nFUSEX : [$002]\n"), std::string::npos);
    EXPECT_TRUE(
        swapped.ends_with("__FUSEX               $0002\n__FUSE                $0001\n\n\n"));
  }
}

// Every include file is closed when it ends: more files one after another than the process
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
  RunResult r = run(dir, "t");
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(r.out, kDone);
}

}  // namespace
