// The line reader and the splitter, one boundary per row.
#include "source.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

// Every line-end rule, through the one reader that applies them; each piece read is shown in
// brackets. Sources read pieces of 1022 characters, inst.dat of 1023.
TEST(LineReader, PiecesAndLineEnds) {
  const std::string a1021(1021, 'a');
  const struct {
    std::string bytes;
    size_t piece;
    std::string pieces;
  } cases[] = {
      {"", 1022, ""},
      {"x\ny\n", 1022, "[x\n][y\n]"},
      {"x\ny", 1022, "[x\n][y]"},
      {"x\r\ny\r", 1022, "[x\n][y]"},
      {"\r\nx", 1022, "[\n][x]"},
      {"x\r\r\n", 1022, "[x\r\n]"},
      {"x\ry\n", 1022, "[x\ry\n]"},
      {std::string("x\0y\nz\n", 6), 1022, "[x][z\n]"},
      {std::string("\0\r\n", 3), 1022, "[]"},
      {a1021 + "\n", 1022, "[" + a1021 + "\n]"},
      {a1021 + "b\n", 1022, "[" + a1021 + "b][\n]"},
      {a1021 + "b\n", 1023, "[" + a1021 + "b\n]"},
      {a1021 + "bc\n", 1023, "[" + a1021 + "bc][\n]"},
      {a1021 + "\r\nx\n", 1022, "[" + a1021 + "][\n][x\n]"},
      {a1021 + "\r", 1022, "[" + a1021 + "]"},
      {a1021 + "\rx", 1022, "[" + a1021 + "\r][x]"},
      {std::string(1000, '\0') + std::string(30, 'y') + "\n", 1022, "[][yyyyyyyy\n]"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    dir.write("f.txt", c.bytes);
    std::unique_ptr<TextFile> file = open_text_file(dir.path + "/f.txt");
    ASSERT_NE(file, nullptr);
    std::string line, pieces;
    while (read_text_line(*file, c.piece, line) == READ_LINE) pieces += "[" + line + "]";
    EXPECT_EQ(pieces, c.pieces) << c.bytes.size() << " bytes";
  }
}

// "label|mnemonic|operand@column|..." for a line.
std::string split(std::string line) {
  split_line(line);
  const SplitLine& s = split_result();
  std::string out = std::string(s.label) + "|" + std::string(s.mnemonic);
  for (int k = 0; k < s.operandCount; ++k) {
    out += "|" + std::string(s.operands[k]) + "@" + std::to_string(s.operandColumns[k]);
  }
  return out;
}

TEST(Splitter, Lines) {
  const std::pair<const char*, const char*> cases[] = {
      {"loop\tmovwf x , w  ; save\n", "loop|movwf|x@11| w@14"},
      {"\tmov a,,,b,\n", "|mov|a@5|b@9"},
      {"\tadd 1 2\n", "|add|1 2@5"},
      {"label;comment", "label|"},
      {"\tx a//b\n", "|x|a@3"},
      {"\tx a/b\n", "|x|a/b@3"},
      {"\tx a/", "|x|a/@3"},
      {"\tx a//", "|x|a@3"},
      {"//x y\n", "|"},
      {"\tx a/b/;c//d\n", "|x|a/b/@3"},
      {"\tx a/ /b\nc;d", "|x|a/ /b@3"},
      {"\tx 'a;b'\n", "|x|'a@3"},
      {"\tmov ,a\n", "|mov|a@6"},
      {"\tmov ,,a , b\n", "|mov|a@7| b@10"},
      {"\tmov a,   ,b\n", "|mov|a@5|@7|b@11"},
      {"\tmov a \t\n", "|mov|a@5"},
      {"nop\n", "nop|"},
      {"a\vb c\n", "a\vb|c"},
      // Sixteen fields at most; an empty first field still counts as one of them.
      {"\top 0,1,2,3,4,5,6,7,8,9,a,b,c,d,e,f,g",
       "|op|0@4|1@6|2@8|3@10|4@12|5@14|6@16|7@18|8@20|9@22|a@24|b@26|c@28|d@30|e@32|f@34"},
      {"\top ,1,2,3,4,5,6,7,8,9,a,b,c,d,e,f,g",
       "|op|1@5|2@7|3@9|4@11|5@13|6@15|7@17|8@19|9@21|a@23|b@25|c@27|d@29|e@31|f@33"},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(split(line), expected) << line;
}

// An include line's file name, "bad" for a malformed one, "-" for a line that is no include.
TEST(IncludeLine, Names) {
  const std::pair<const char*, const char*> cases[] = {
      {"#include \"a.inc\"", "a.inc"},
      {"  #INCLUDE <b.inc> ; comment", "b.inc"},
      {"#include\v\"a.inc\"\f", "a.inc"},
      {"#include \"", ""},
      {"#include <>", ""},
      {"#include a.inc", "bad"},
      {"#include \"a.inc\";x", "bad"},
      {"#include \"a.inc>", "bad"},
      {"#include", "-"},
      {"; #include \"x\"", "-"},
  };
  for (const auto& [line, expected] : cases) {
    std::string name;
    IncludeLine kind = parse_include_line(line, name);
    EXPECT_EQ(kind == INCLUDE_NONE ? "-" : kind == INCLUDE_BAD ? "bad" : name, expected) << line;
  }
}

}  // namespace
