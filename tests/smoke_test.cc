#include <gtest/gtest.h>

#include "test_util.h"
TEST(Smoke, Usage) {
  ScratchDir dir;
  RunResult r = run_program(dir, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner() + "usage: wendrix input.asm\n(it really is that simple)\n");
}
