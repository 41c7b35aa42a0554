// The statement splitter, the diagnostic format and the symbol table.
#include "source.h"

#include <gtest/gtest.h>

#include <sstream>

#include "diag.h"
#include "symbols.h"
#include "test_util.h"

namespace {

// "label|mnemonic|op@col|op@col" for a line.
std::string split(std::string line) {
  split_line(line);
  const SplitLine& s = split_result();
  std::string out = s.label + "|" + s.mnemonic;
  for (int k = 0; k < s.operandCount; ++k) {
    out += "|" + s.operands[k] + "@" + std::to_string(s.operandColumns[k]);
  }
  return out;
}

TEST(Splitter, Lines) {
  const std::pair<const char*, const char*> cases[] = {
      {"loop\tmovwf x , w  ; save\n", "loop|movwf|x@11| w@14"},
      {"\t\tnop\n", "|nop"},
      {"start\n", "start|"},
      {"  ; only a comment\n", "|"},
      {"\tmov a,,,b,\n", "|mov|a@5|b@9"},
      {"\tadd 1 2\n", "|add|1 2@5"},
      {"label;comment", "label|"},
      {"\tx a//b\n", "|x|a@3"},
      {"\tx a/b\n", "|x|a/b@3"},
      {"\tx 'a;b'\n", "|x|'a@3"},
      {"\tmov ,a\n", "|mov|a@6"},
      {"\tmov ,,a , b\n", "|mov|a@7| b@10"},
      {"\tmov a,   ,b\n", "|mov|a@5|@7|b@11"},
      {"\tmov a \t\n", "|mov|a@5"},
      {"nop\n", "nop|"},
      {"\t\n", "|"},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(split(line), expected) << line;
}

TEST(Splitter, SeventeenthFieldIsDropped) {
  std::string line = "\top 0";
  for (int i = 1; i <= 16; ++i) line += "," + std::to_string(i);
  split(line);
  EXPECT_EQ(split_result().operandCount, 16);
  EXPECT_EQ(split_result().operands[15], "15");
}

TEST(Splitter, EmptyFieldAfterTheMnemonicStillCountsAsAField) {
  std::string line = "\top ";
  for (int i = 0; i < 16; ++i) line += "," + std::to_string(i);
  split(line);
  EXPECT_EQ(split_result().operandCount, 15);
  EXPECT_EQ(split_result().operands[14], "14");
}

// Reads `line` as the first line of a source so that reports quote it.
void read_line_into_position(const ScratchDir& dir, const std::string& line) {
  dir.write("p.asm", line);
  ASSERT_EQ(open_source(dir.path + "/p.asm"), 0);
  ASSERT_EQ(read_statement(), 0);
}

// Every line-end rule, through the one reader that applies them; each piece read is shown in
// brackets.
TEST(LineReader, PiecesAndLineEnds) {
  const std::string a1021(1021, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"x\ny\n", "[x\n][y\n]"},
      {"x\ny", "[x\n][y]"},
      {"x\r\ny\r", "[x\n][y]"},
      {"\r\nx", "[\n][x]"},
      {"x\r\r\n", "[x\r\n]"},
      {"x\ry\n", "[x\ry\n]"},
      {std::string("x\0y\nz\n", 6), "[x][z\n]"},
      {std::string("\0\r\n", 3), "[]"},
      {a1021 + "b\n", "[" + a1021 + "b][\n]"},
      {a1021 + "\r\nx\n", "[" + a1021 + "][\n][x\n]"},
      {a1021 + "\r", "[" + a1021 + "]"},
      {a1021 + "\rx", "[" + a1021 + "\r][x]"},
  };
  ScratchDir dir;
  for (const auto& [content, expected] : cases) {
    dir.write("f.txt", content);
    std::unique_ptr<TextFile> file = open_text_file(dir.path + "/f.txt");
    ASSERT_NE(file, nullptr);
    std::string line, pieces;
    while (read_text_line(*file, kSourcePieceChars, line) == READ_LINE) {
      pieces += "[" + line + "]";
    }
    EXPECT_EQ(pieces, expected) << content.size();
  }
}

TEST(Diagnostics, CaretLines) {
  ScratchDir dir;
  struct Case {
    std::string line;
    int column;
    std::string caret;
  };
  const Case cases[] = {
      {"\tgoto somewhere, far", 9, "\t        ^\n"},
      {"\tgoto x", 0, "^\n"},
      {"\tgoto x", -3, "^\n"},
      {"ab\tc d", 5, "  \t  ^\n"},
      {"ab ; comment", 40, "   ^\n"},
  };
  for (const Case& c : cases) {
    read_line_into_position(dir, c.line + "\n");
    std::ostringstream out;
    set_console(&out);
    current_error = E_MISSING_OPERATOR;
    report_error(1, c.column);
    set_console(nullptr);
    std::string cut = c.line.substr(0, c.line.find(';'));
    EXPECT_EQ(out.str(), "[" + dir.path + "/p.asm : 1] missing operator\n" + cut + "\n" + c.caret)
        << c.line;
  }
  source_reset();
}

TEST(Diagnostics, SymbolQuotesAndWarnings) {
  ScratchDir dir;
  read_line_into_position(dir, "\tx\n");
  symbols_reset();
  error_symbol = symbol_add("loop");
  std::ostringstream out;
  set_console(&out);
  for (int code : {E_SYMBOL_UNDEFINED, E_SYMBOL_REDEFINED, E_DIVIDE_BY_ZERO, E_NONE}) {
    current_error = code;
    report_error(0, 0);
  }
  current_error = E_CODE_OVERLAP;
  report_warning(0, 0);
  set_console(nullptr);
  std::string at = "[" + dir.path + "/p.asm : 1] ";
  EXPECT_EQ(out.str(), at + "symbol undefined [loop]\n" + at + "symbol already defined [loop]\n" +
                           at + "divide by zero\n" + at + "\n" + at +
                           "WARNING - code overlaps existing code\n");
  source_reset();
}

TEST(Diagnostics, MessageTable) {
  EXPECT_STREQ(error_message(E_NONE), "");
  EXPECT_STREQ(error_message(E_UNARY_TWO_PARAMS), "unary expression with 2 parameters");
  EXPECT_STREQ(error_message(E_INVALID_DS), "invalid DS statement");
  EXPECT_STREQ(error_message(E_FUSEX_UNDEFINED), "__FUSEX has not been defined");
  EXPECT_STREQ(error_message(E_CODE_COUNT), "");
  EXPECT_EQ(E_FUSEX_UNDEFINED, 25);
}

TEST(Symbols, Table) {
  symbols_reset();
  EXPECT_EQ(symbol_find("x"), -1);
  EXPECT_EQ(symbol_find_or_add("x"), 0);
  EXPECT_EQ(symbol_find_or_add("x"), 0);
  EXPECT_EQ(symbol_find_or_add("X"), 1);
  for (int i = 0; i < 5000; ++i) symbol_find_or_add("s" + std::to_string(i));
  EXPECT_EQ(symbol_count(), 5002);
  EXPECT_EQ(symbol_find("x"), 0);
  EXPECT_EQ(symbol_find("s4999"), 5001);
  EXPECT_EQ(symbol_at(1).name, "X");
  EXPECT_EQ(symbol_at(1).valueKnown, 0);
  EXPECT_EQ(symbol_at(1).definedByLabel, 0);
  symbols_reset();
  EXPECT_EQ(symbol_count(), 0);
  EXPECT_EQ(symbol_find("x"), -1);
}

}  // namespace
