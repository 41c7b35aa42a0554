// The instruction-set loader: each file's result, or every definition it loaded.
#include "isa.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

// "name operands : bits; ..." with operands as `"literal"` or `#width`, constant bits as 0 or
// 1 and operand bits as `operand.bit`; or "fails N".
std::string load(const std::string& content) {
  ScratchDir dir;
  dir.write("inst.dat", content);
  int result = load_instruction_defs(dir.path + "/inst.dat");
  if (result != 0) return "fails " + std::to_string(result);
  std::string out;
  for (const InstructionDef& def : instruction_table()) {
    out += (out.empty() ? "" : "; ") + def.name;
    for (const OperandSpec& op : def.operands) {
      out += op.isNumeric ? " #" + std::to_string(op.width) : " \"" + op.literal + "\"";
    }
    out += " :";
    for (int i = 0; i < def.bitCount; ++i) {
      const BitSource& b = def.bits[i];
      out += " " + (b.source < 0 ? "" : std::to_string(b.source) + ".") + std::to_string(b.bit);
    }
  }
  return out;
}

TEST(InstructionSet, Loads) {
  const std::pair<std::string, const char*> cases[] = {
      {"\n \t \n\n", ""},
      {"load \"a\" d8 : 1010 d7-0\n", "load \"a\" #8 : 1 0 1 0 1.7 1.6 1.5 1.4 1.3 1.2 1.1 1.0"},
      {"move r5 s1 : 011001 s0 r4-0", "move #5 #1 : 0 1 1 0 0 1 1.0 0.4 0.3 0.2 0.1 0.0"},
      {"nop 000\n", "fails 1"},
      {"op k8 : j7-0\n", "fails 2"},
      {"nop : 0\nbad\n", "fails 1"},
      {"nop :\n", "nop :"},
      {"nop :000000000001\n", "nop :"},
      {"op k8 :sep k1\n", "op #8 : 0.1"},
      {": k1 : k0\n", ": #1 : 0.0"},
      {"nop : 0 :1\n", "fails 2"},
      {"a : 1\nb : 0", "a : 1; b : 0"},
      {"a : 111111111111\r\nb : 000000000000\r",
       "a : 1 1 1 1 1 1 1 1 1 1 1 1; b : 0 0 0 0 0 0 0 0 0 0 0 0"},
      {std::string("a : 0\0 1111111111111\n", 22), "a : 0"},
      {"a : 1111111111111\n", "fails 1"},
      {"a k9 : 0000 k8-0\n", "fails 1"},
      {"a k9 : k2000000000-0\n", "fails 1"},
      {"a k9 : 000 k8-0\n", "a #9 : 0 0 0 0.8 0.7 0.6 0.5 0.4 0.3 0.2 0.1 0.0"},
      {"a k10 : 10 k9-0\n", "a #10 : 1 0 0.9 0.8 0.7 0.6 0.5 0.4 0.3 0.2 0.1 0.0"},
      {"a k16 : k15-4\n", "a #16 : 0.15 0.14 0.13 0.12 0.11 0.10 0.9 0.8 0.7 0.6 0.5 0.4"},
      {"a : 1x1x\n", "a : 1 0 1 0"},
      {"a k8 : 1 k0-7\n", "a #8 : 1"},
      {"a k8 : k\v3-\f0\n", "a #8 : 0.3 0.2 0.1 0.0"},  // numbers read past \v and \f
      {"a k8 : kq k+2 k--3 k3x-0 kx-5\n", "a #8 : 0.0 0.2 0.0 0.3 0.0"},
      {"a k4 k8 : k1\n", "a #4 #8 : 0.1"},
      {"a k4 K8 : K1 k2\n", "a #4 #8 : 1.1 0.2"},
      {"a k8 : k256 k300 k-1\n", "a #8 : 0.0 0.44 0.255"},
      {"a k8 : k2147483647 k-2147483648\n", "a #8 : 0.255 0.0"},
      {"a k8 : k2147483648\n", "fails 1"},
      {"a k8 : k-2147483649\n", "fails 1"},
      {"a k8 : k2-99999999999\n", "fails 1"},
      {"x k8 : 0000 k100000000000000000000 0000000\n", "fails 1"},
      {"a k300 j-1 : k0\n", "a #44 #255 : 0.0"},
      {"a \"w\" : \"1 1\n", "a \"w\" : 0.1 1"},
      {"a \" \"w\" \"abc\" \"w : 0\n", "a \"\" \"w\" \"abc\" \"\" : 0"},
      {"a : 1" + std::string(1018, ' ') + "b : 0\n", "a : 1; b : 0"},
  };
  for (const auto& [content, expected] : cases) EXPECT_EQ(load(content), expected) << content;
  EXPECT_EQ(load_instruction_defs("/nonexistent/inst.dat"), 1);  // cannot be opened
  EXPECT_EQ(load_instruction_defs("/"), 1);                      // a directory
}

}  // namespace
