// Pass 1 end to end: the built program on sources with errors; whole console output pinned.
#include <gtest/gtest.h>

#include "test_util.h"

namespace {

const char* const kIsa =
    "nop          : 000000000000\n"
    "load \"a\" d8  : 1010 d7-0\n"
    "move r5 s1   : 011001 s0 r4-0\n"
    "add f5 \"w\"   : 000111 0 f4-0\n"
    "add f5 d1    : 000111 d0 f4-0\n"
    "goto k9      : 101 k8-0\n"
    "call k8      : 1001 k7-0\n";

RunResult assemble(ScratchDir& dir, const std::string& source) {
  dir.write("inst.dat", kIsa);
  dir.write("t.asm", source);
  return run_program(dir, {"t"});
}

struct Pass1Case {
  const char* name;
  std::string source;
  std::string console;  // after "Pass 1..."
};

TEST(Pass1, ErrorsAreReportedInOrderWithCarets) {
  const Pass1Case cases[] = {
      {"operand errors and a redefinition",
       "\tnop\n"
       "\tadd 3,W\n"
       "\tadd 3, w\n"
       "\tbogus 1\n"
       "x\tmove 1+,2\n"
       "\tmove\t(1,B'12'\n"
       "x\tnop\n"
       "\tnop 1\n"
       "\tload a, 5 ; comment\n"
       "\tload A,1)\n",
       "[t.asm : 4] bad instruction\n"
       "[t.asm : 5] missing expression\n"
       "x\tmove 1+,2\n"
       " \t     ^\n"
       "[t.asm : 6] mismatched parentheses\n"
       "\tmove\t(1,B'12'\n"
       "\t    \t^\n"
       "[t.asm : 6] invalid token\n"
       "\tmove\t(1,B'12'\n"
       "\t    \t   ^\n"
       "[t.asm : 7] symbol already defined [x]\n"
       "x\tnop\n"
       "^\n"
       "[t.asm : 8] bad instruction\n"
       "[t.asm : 10] mismatched parentheses\n"
       "\tload A,1)\n"
       "\t        ^\n"},
      {"operand error comes before the redefinition of the same statement", "L\tnop\nL\tgoto 5+\n",
       "[t.asm : 2] missing expression\nL\tgoto 5+\n \t     ^\n"
       "[t.asm : 2] symbol already defined [L]\nL\tgoto 5+\n^\n"},
      {"directives in any case; longer names are not directives",
       "\tORG 0\nA\tEqu 1\n\tdS 1\n\torg2 1\n\torgx\n\tDSTART\n",
       "[t.asm : 4] bad instruction\n[t.asm : 5] bad instruction\n"
       "[t.asm : 6] bad instruction\n"},
      {"wrong operand count and unmatched literal are bad instructions",
       "\tgoto\n\tgoto 1,2\n\tload b,1\n\tload 1,a\n\tload  a ,1\n",
       "[t.asm : 1] bad instruction\n[t.asm : 2] bad instruction\n"
       "[t.asm : 3] bad instruction\n[t.asm : 4] bad instruction\n"},
      {"a comma straight after the mnemonic adds no operand", "\tmove ,1+,2\n",
       "[t.asm : 1] missing expression\n\tmove ,1+,2\n\t      ^\n"},
      {"an operand of blanks reaches the parser empty", "\tmove 1,   ,2\n",
       "[t.asm : 1] bad instruction\n"},
      {"blank operand in a fitting statement", "\tmove 1,  \n",
       "[t.asm : 1] missing expression\n\tmove 1,  \n\t       ^\n"},
      {"the caret line keeps tabs and the comment is gone", "\tgoto\t(7   ; (trailing\n",
       "[t.asm : 1] mismatched parentheses\n\tgoto\t(7   \n\t    \t^\n"},
      {"carriage returns before line feeds are dropped", "\tnop\r\n\tgoto )\r\n\tbogus\r",
       "[t.asm : 2] mismatched parentheses\n\tgoto )\n\t     ^\n[t.asm : 3] bad instruction\n"},
      {"a NUL ends the text of its line", std::string("\tnop\0junk\n\tbogus\n", 17),
       "[t.asm : 2] bad instruction\n"},
      {"a last line without a line feed is read", "\tnop\n\tbogus",
       "[t.asm : 2] bad instruction\n"},
      {"a long line is read in pieces of 1022",
       "\tnop" + std::string(1018, ' ') + "\tbogus\n\tbad3\n",
       "[t.asm : 2] bad instruction\n[t.asm : 3] bad instruction\n"},
      {"a symbol that is only mentioned by an unknown mnemonic stays harmless", "\tLoop\n\tloop\n",
       "[t.asm : 1] bad instruction\n[t.asm : 2] bad instruction\n"},
  };
  for (const Pass1Case& c : cases) {
    ScratchDir dir;
    RunResult r = assemble(dir, c.source);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, pass1_header() + c.console) << c.name;
    EXPECT_FALSE(dir.exists("t.lst")) << c.name;
    EXPECT_FALSE(dir.exists("t.hex")) << c.name;
  }
}

struct IncludeCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // besides t.asm
  std::string source;
  std::string console;
};

TEST(Pass1, IncludeFiles) {
  std::vector<std::pair<std::string, std::string>> nested;
  std::vector<std::pair<std::string, std::string>> too_deep;
  for (int i = 1; i <= 15; ++i) {
    std::string next = i < 15 ? "#include \"l" + std::to_string(i + 1) + ".inc\"\n" : "\tbogus\n";
    nested.push_back({"l" + std::to_string(i) + ".inc", next});
    std::string next2 = "#include \"l" + std::to_string(i + 1) + ".inc\"\n";
    too_deep.push_back({"l" + std::to_string(i) + ".inc", next2});
  }
  too_deep.push_back({"l16.inc", "\tnop\n"});
  const IncludeCase cases[] = {
      {"line numbers resume after the include line",
       {{"a.inc", "\tnop\n#INCLUDE <b.inc> ; comment\n\tbad1\n"}, {"b.inc", "\tbad2"}},
       "\tnop\n  #include \"a.inc\"\n\tbogus\n",
       "[b.inc : 1] bad instruction\n[a.inc : 3] bad instruction\n"
       "[t.asm : 3] bad instruction\n"},
      {"missing file",
       {},
       "\tnop\n#include \"missing.inc\"\n",
       "[t.asm : 2] can't open include file\n"},
      {"earlier reports stay printed",
       {},
       "\tbogus\n#include \"nope\"\n\tbogus2\n",
       "[t.asm : 1] bad instruction\n[t.asm : 2] can't open include file\n"},
      {"no delimiters", {{"a.inc", ""}}, "#include a.inc\n", "[t.asm : 1] bad include file\n"},
      {"comment glued to the name",
       {{"a.inc", ""}},
       "#include \"a.inc\";x\n",
       "[t.asm : 1] bad include file\n"},
      {"mixed delimiters",
       {{"a.inc", ""}},
       "#include \"a.inc>\n",
       "[t.asm : 1] bad include file\n"},
      {"a lone quote is an empty name",
       {},
       "#include \"\n",
       "[t.asm : 1] can't open include file\n"},
      {"a directory", {{"d/x", ""}}, "#include \"d\"\n", "[t.asm : 1] can't open include file\n"},
      {"words apart by a vertical tab and a form feed",
       {{"a.inc", "\tbad3\n"}},
       "#include\v\"a.inc\"\f\n",
       "[a.inc : 1] bad instruction\n"},
      {"only the keyword is a label",
       {},
       "#include\n; #include \"x\"\n\tbogus\n",
       "[t.asm : 3] bad instruction\n"},
      {"fifteen levels below the main source", nested, "#include \"l1.inc\"\n",
       "[l15.inc : 1] bad instruction\n"},
      {"the sixteenth level fails", too_deep, "#include \"l1.inc\"\n",
       "[l15.inc : 1] too many nested include files\n"},
      {"self inclusion",
       {{"self.inc", "\tnop\n#include \"self.inc\"\n"}},
       "#include \"self.inc\"\n",
       "[self.inc : 2] too many nested include files\n"},
  };
  for (const IncludeCase& c : cases) {
    ScratchDir dir;
    for (const auto& [name, content] : c.files) dir.write(name, content);
    RunResult r = assemble(dir, c.source);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, pass1_header() + c.console) << c.name;
  }
}

}  // namespace
