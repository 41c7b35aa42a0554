// The checker's hints: which habit of another assembler, or which name of the instruction set,
// a report on a line points to. One boundary per row.
#include "lint/hints.h"

#include <gtest/gtest.h>

#include "diag.h"
#include "test_util.h"

namespace {

struct HintRow {
  int code;
  std::string line;
  std::string hint;
};

const char* const kCall = "the instruction set has 'call'";
const char* const kQuoted =
    "a quoted character is no number here: write its code, such as $41 for 'A'";
const char* const kDollar = "'$' alone is no location here: put a label on the line and name it";
const char* const kBinary = "a binary number is written B'101'";
const char* const kHex = "a hexadecimal number is written 0x1F (small x) or $1F";
const char* const kHighLow = "there is no HIGH or LOW: write (x >> 8) & $FF and x & $FF";
const char* const kOctal =
    "there are no octal numbers: write the value in hexadecimal ($F for O'17') or decimal";

TEST(Hints, ForEachHabitAndTypo) {
  ScratchDir dir;
  dir.write("inst.dat",
            "nop : 000000000000\n"
            "call k8 : 1001 k7-0\n"
            "goto k9 : 101 k8-0\n"
            "retlw k8 : 1000 k7-0\n"
            "clrf f5 : 0000011 f4-0\n"
            "movf f5 \"w\" : 001000 0 f4-0\n"
            "movwf f5 : 0000001 f4-0\n");
  ASSERT_EQ(load_instruction_defs(dir.path + "/inst.dat"), 0);
  const InstructionSet& set = instruction_set();
  const int kBad = E_BAD_INSTRUCTION, kToken = E_INVALID_TOKEN, kOperator = E_MISSING_OPERATOR;
  const HintRow rows[] = {
      // Include lines: a can't-open explains itself; a name with a blank is told the form.
      {E_CANT_OPEN_INCLUDE, "#include \"my file.inc\"", ""},
      {E_BAD_INCLUDE_FILE, "#include \"my file.inc\"",
       "an include line is '#include \"FILE\"': a file name without blanks"},
      {E_BAD_INCLUDE_FILE, "#include \"x.inc\"", ""},
      // Another assembler's directives, in any case.
      {kBad, "#Define LED 3", "#define is no directive here: write 'LED equ VALUE'"},
      {kBad, "\tEND", "a program needs no end directive: remove the line"},
      {kBad, "\tendc",
       "there is no cblock: name each register with equ (or reserve addresses with org and ds)"},
      {kBad, "\tINCLUDE \"x.inc\"", "an include line is written '#include \"FILE\"'"},
      {kBad, "\tmovfw X", "movfw is another assembler's name: write 'movf X,w'"},
      {kBad, "\tmovfw X,Y", "the instruction set has 'movf', 'movwf'"},
      {kBad, "\tCOUNT equ 5",
       "a constant's name starts in column 0: write COUNT in the first column"},
      {kBad, "\tCOUNT equal 5", ""},
      // Names one edit apart (changed, added, left out), or sharing a longer name's first three
      // letters; a name the set has is told nothing.
      {kBad, "\tcal x", kCall},
      {kBad, "\tcalll x", kCall},
      {kBad, "\tgoyo x", "the instruction set has 'goto'"},
      {kBad, "\tclr x", "the instruction set has 'clrf'"},
      {kBad, "\tmovff x", "the instruction set has 'movf', 'movwf'"},
      {kBad, "\tgo x", ""},
      {kBad, "\treturn", "the instruction set has 'retlw'"},
      {kBad, "\tret", ""},
      {kBad, "\tbogus", ""},
      {kBad, "\tcall", ""},
      // A label's colon, only where the report is of a token.
      {kToken, "\tgoto start:", "a label is named without its colon: write start"},
      {kOperator, "\tgoto start:", ""},
      {kToken, "\tgoto 1:", ""},
      {kToken, "\tgoto :", ""},
      // Octal and quoted characters; B'..', D'..', H'..' are numbers where a word starts.
      {kToken, "\tgoto O'17'", kOctal},
      {kToken, "\tgoto 1+o'17'", kOctal},
      {kToken, "\tgoto xo'17'", kQuoted},
      {kToken, "\tgoto 'A'", kQuoted},
      {kToken, "\tgoto \"A\"", kQuoted},
      {kOperator, "\tgoto B'101' x", ""},
      {kOperator, "\tgoto 1+d'9' x", ""},
      {kOperator, "\tgoto xb'101'", kQuoted},
      {kOperator, "\tgoto H'1F", ""},
      // '$' followed by no hex digit, wherever it stands.
      {kToken, "\tgoto $", kDollar},
      {kToken, "\tgoto $+1", kDollar},
      {kToken, "\tgoto $1F+$", kDollar},
      {kOperator, "\tgoto $1F x", ""},
      // 0b and 0X where a number starts.
      {kOperator, "\tgoto 0b101", kBinary},
      {kOperator, "\tgoto 0B101", kBinary},
      {kOperator, "\tgoto 1+0b1", kBinary},
      {kOperator, "\tgoto 10b1", ""},
      {kOperator, "\tgoto 0X1F", kHex},
      {kOperator, "\tgoto 0x1F z", ""},
      {kOperator, "\tgoto x0", ""},
      // HIGH and LOW as words; the first operand with a habit gives the hint.
      {kOperator, "\tgoto low x", kHighLow},
      {kOperator, "\tgoto below x", ""},
      {kOperator, "\tgoto 1,HIGH x", kHighLow},
  };
  for (const HintRow& row : rows) {
    std::string line = row.line;
    split_line(line);
    EXPECT_EQ(habit_hint(row.code, split_result(), set), row.hint) << row.line;
  }
}

}  // namespace
