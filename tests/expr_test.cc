// Tokenizer, parser and evaluator, driven directly on operand texts. Errors show as their
// message and column.
#include "expr.h"

#include <gtest/gtest.h>

#include <string>

#include "diag.h"
#include "symbols.h"

namespace {

void fresh() {
  diag_reset();
  symbols_reset();
  expr_reset();
}

std::string describe(int32_t kind, int32_t value) {
  static const char* const kOps[] = {"|", "^", "&", ">>", "<<", "-",
                                     "+", "%", "/", "*",  "~",  "neg"};
  switch (kind) {
    case TOK_NUMBER:
      return std::to_string(value);
    case TOK_SYMBOL:
      return "sym:" + std::string(symbol_name(value));
    case TOK_OPERATOR:
      return std::string("op:") + kOps[value];
    case TOK_PAREN:
      return value == PAREN_OPEN ? "(" : ")";
  }
  return "rw:" + std::to_string(value);
}

std::string failure(int32_t column) {
  return error_message(current_error) + std::string("@") + std::to_string(column);
}

// "token@column ...", or "message@column".
std::string tokens_of(const char* text) {
  fresh();
  int32_t column = 0;
  std::span<ExprToken> tokens = tokenize_expression(text, column);
  if (column >= 0) return failure(column);
  std::string out;
  for (const ExprToken& t : tokens)
    out += (out.empty() ? "" : " ") + describe(t.kind, t.value) + "@" + std::to_string(t.column);
  return out;
}

std::string tree_of(int32_t tree) {
  const ExprNode& n = expr_node(tree);
  int32_t left = left_operand(tree), right = right_operand(tree);
  if (n.kind != TOK_OPERATOR) return describe(n.kind, n.kind == TOK_SYMBOL ? n.ref : n.value);
  std::string s = "(" + describe(n.kind, n.op).substr(3);
  if (left != kNoTree) s += " " + tree_of(left);
  return s + " " + tree_of(right) + ")";
}

// The tree as an S-expression and its value (or the evaluator's message), or "message@column".
std::string parse_of(const char* text) {
  fresh();
  int32_t column = 0;
  std::span<ExprToken> tokens = tokenize_expression(text, column);
  if (column >= 0) return "token error";
  int32_t root = parse_expression(tokens, column);
  if (root == kNoTree) return failure(column);
  if (column != -1) return "column set on success";
  evaluate_expression(root);
  return tree_of(root) + " = " +
         (current_error == E_NONE ? std::to_string(expr_node(root).value)
                                  : error_message(current_error));
}

// The value as a decimal, or the message.
std::string value_of(const char* text) {
  std::string parsed = parse_of(text);
  return parsed.substr(parsed.find(" = ") + 3);
}

struct Case {
  const char* text;
  const char* expected;
};

TEST(Tokenizer, Cases) {
  const Case cases[] = {
      {" \t\r\n", ""},
      {"  x", "sym:x@2"},
      {"  x+H'1F'*$10", "sym:x@2 op:+@3 31@4 op:*@9 16@10"},
      {"H'FF' h'ff' $ff $FF 0xff 0xFF", "255@0 255@6 255@12 255@16 255@20 255@25"},
      {"D'255' B'101' b''", "255@0 5@7 0@14"},
      {"x + H'12G'", "invalid token@4"},
      {"0XFF 0X1F", "0@0 sym:XFF@1 0@5 sym:X1F@6"},
      {"1+$", "invalid token@2"},
      {"4294967296 4294967295 $100000000 2147483648 010 99999999999999",
       "0@0 -1@11 0@22 -2147483648@33 10@44 276447231@48"},
      {"DSTART Org ORGX EQUATE", "rw:2@0 sym:TART@2 rw:0@7 rw:0@11 sym:X@14 rw:1@16 sym:ATE@19"},
      {"x0 LOOP10 _tmp9 12AB 3+x",
       "sym:x0@0 sym:LOOP10@3 sym:_tmp9@10 12@16 sym:AB@18 3@21 op:+@22 sym:x@23"},
      {"~a|b^c&d%e/f*g",
       "op:~@0 sym:a@1 op:|@2 sym:b@3 op:^@4 sym:c@5 op:&@6 sym:d@7 op:%@8 "
       "sym:e@9 op:/@10 sym:f@11 op:*@12 sym:g@13"},
      // Character classes, one boundary per row: the neighbours of A-Z, a-z, 0-9 and _ are
      // not name characters, at the start of a name or inside it.
      {"A Z a z _", "sym:A@0 sym:Z@2 sym:a@4 sym:z@6 sym:_@8"},
      {"xA xZ xa xz x_ x0 x9", "sym:xA@0 sym:xZ@3 sym:xa@6 sym:xz@9 sym:x_@12 sym:x0@15 sym:x9@18"},
      {"0 9 9x x/", "0@0 9@2 9@4 sym:x@5 sym:x@7 op:/@8"},
      // Names that begin like one reserved word and end like another.
      {"orgequ dsorg equds xorg", "rw:0@0 rw:1@3 rw:2@7 rw:0@9 rw:1@13 rw:2@16 sym:xorg@19"},
  };
  for (const Case& c : cases) EXPECT_EQ(tokens_of(c.text), c.expected) << "text: " << c.text;
  // Characters that start no token, alone and after a name; numbers that end badly.
  for (std::string c : {"@", "[", "`", "{", ":", "<", ">", ",", ";", "'a'", "\"", "\xC3\xA9"}) {
    EXPECT_EQ(tokens_of(c.c_str()), "invalid token@0") << c;
    EXPECT_EQ(tokens_of(("x" + c).c_str()), "invalid token@1") << c;
  }
  for (const char* c : {"D'12", "B'102'", "D'1A'", "H'1G'", "H'1:'", "0x", "0xg"}) {
    EXPECT_EQ(tokens_of(c), "invalid token@0") << c;
  }
}

TEST(Parser, TreesAndErrors) {
  const Case cases[] = {
      {"(a+1)*-b", "(* (+ sym:a 1) (neg sym:b)) = symbol undefined"},
      {"8-4-2", "(- (- 8 4) 2) = 2"},
      {"16/4/2", "(/ (/ 16 4) 2) = 2"},
      {"1<<2+1", "(<< 1 (+ 2 1)) = 8"},
      {"6&3|8", "(| (& 6 3) 8) = 10"},
      {"(1+2)*(3+4)", "(* (+ 1 2) (+ 3 4)) = 21"},
      {"-x+1", "(+ (neg sym:x) 1) = symbol undefined"},
      {"2--3", "(- 2 (neg 3)) = 5"},
      {"--3", "(neg (neg 3)) = 3"},
      {"-~5", "(neg (~ 5)) = 6"},
      {"((1+2))", "(+ 1 2) = 3"},
      {"  (())", "missing expression@3"},
      {")", "mismatched parentheses@0"},
      {"(1))", "mismatched parentheses@3"},
      {"1)+(2", "mismatched parentheses@1"},
      {"((1)", "mismatched parentheses@0"},
      {"a)((b", "mismatched parentheses@2"},
      {"(1", "mismatched parentheses@0"},
      {"(1)+(2", "mismatched parentheses@4"},
      {"(+)", "invalid expression@1"},
      {"~", "invalid expression@0"},
      {"5+-", "invalid expression@2"},
      {"2 3", "missing operator@0"},
      {"(2)(3)", "missing operator@0"},
      {"(2) 3", "missing operator@0"},
      {"5 ~3", "unary expression with 2 parameters@2"},
      {"10 ~3", "unary expression with 2 parameters@3"},  // 10 is OP_NOT's code, not an operator
      {"2~3", "unary expression with 2 parameters@1"},
      {"x(-1)", "unary expression with 2 parameters@2"},
      {"x + DSTART", "reserved word in expression@4"},
      {"org", "reserved word in expression@0"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_of(c.text), c.expected) << "text: " << c.text;
  for (const char* c : {"", "   ", "5+", "*5", "()", "()+1"}) {
    EXPECT_EQ(parse_of(c), "missing expression@0") << c;
  }
}

TEST(Evaluator, Values) {
  const Case cases[] = {{"1<<2<<3", "32"},
                        {"2*-3", "-6"},
                        {"-7/2", "-3"},
                        {"-7%2", "-1"},
                        {"7%-2", "1"},
                        {"-$80000000", "-2147483648"},
                        {"~0", "-1"},
                        {"1<<32", "1"},
                        {"1<<31", "-2147483648"},
                        {"-8>>1", "-4"},
                        {"$80000000>>31", "-1"},
                        {"5>>33", "2"},
                        {"65536*65536", "0"},
                        {"$7FFFFFFF+1", "-2147483648"},
                        {"-$80000000-1", "2147483647"},
                        {"-2147483648/-1", "-2147483648"},
                        {"-2147483648%-1", "0"},
                        {"1/0", "divide by zero"},
                        {"1%0", "divide by zero"},
                        // One row per pair of adjacent levels, where the two readings differ.
                        {"6|3^5", "6"},
                        {"6^3&5", "7"},
                        {"3&1<<2", "0"},
                        {"2+3*4", "14"},
                        {"~1*2", "-4"},
                        {"8-2*3", "2"},
                        {"8-6/2", "5"},
                        {"7-5%3", "5"},
                        {"16>>2+1", "2"},
                        {"12&15>>2", "0"},
                        {"1<<3-1", "4"},
                        {"x", "symbol undefined"}};
  for (const Case& c : cases) EXPECT_EQ(value_of(c.text), c.expected) << "text: " << c.text;
}

}  // namespace
