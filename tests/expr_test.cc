// Tokenizer, parser and evaluator, driven directly on operand texts.
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

std::string describe_token(const ExprToken* t) {
  static const char* const kOps[] = {"|", "^", "&", ">>", "<<", "-",
                                     "+", "%", "/", "*",  "~",  "neg"};
  switch (t->kind) {
    case TOK_NUMBER:
      return std::to_string(t->value);
    case TOK_SYMBOL:
      return "sym:" + symbol_name(t->value);
    case TOK_OPERATOR:
      return std::string("op:") + kOps[t->value];
    case TOK_PAREN:
      return t->value == PAREN_OPEN ? "(" : ")";
    case TOK_RESERVED:
      return "rw:" + std::to_string(t->value);
  }
  return "?";
}

// "token@column ..." or "error E@column".
std::string tokens_of(const char* text) {
  fresh();
  int32_t column = 0;
  ExprToken* t = tokenize_expression(text, column);
  if (column >= 0) return "error " + std::to_string(current_error) + "@" + std::to_string(column);
  std::string out;
  for (; t; t = t->next) {
    if (!out.empty()) out += ' ';
    out += describe_token(t) + "@" + std::to_string(t->column);
  }
  return out;
}

std::string tree_of(const ExprNode* n) {
  if (!n->left && !n->right) return describe_token(n->token);
  std::string s = "(" + describe_token(n->token).substr(3);
  if (n->left) s += " " + tree_of(n->left);
  s += " " + tree_of(n->right);
  return s + ")";
}

// The tree as an S-expression, or "error E@column".
std::string parse_of(const char* text) {
  fresh();
  int32_t column = 0;
  ExprToken* t = tokenize_expression(text, column);
  if (column >= 0) return "token error";
  ExprNode* root = parse_expression(t, column);
  if (!root) return "error " + std::to_string(current_error) + "@" + std::to_string(column);
  EXPECT_EQ(column, -1);
  return tree_of(root);
}

// The value as a decimal, or "error E".
std::string value_of(const char* text) {
  fresh();
  int32_t column = 0;
  ExprNode* root = parse_expression(tokenize_expression(text, column), column);
  if (!root) return "parse error";
  evaluate_expression(root);
  if (current_error != E_NONE) return "error " + std::to_string(current_error);
  return std::to_string(root->value);
}

struct Case {
  const char* text;
  const char* expected;
};

TEST(Tokenizer, Cases) {
  const Case cases[] = {
      {"", ""},
      {" \t\r\n", ""},
      {"  x", "sym:x@2"},
      {"  x+H'1F'*$10", "sym:x@2 op:+@3 31@4 op:*@9 16@10"},
      {"H'FF' h'ff' $ff $FF 0xff 0xFF", "255@0 255@6 255@12 255@16 255@20 255@25"},
      {"D'255' B'101' b''", "255@0 5@7 0@14"},
      {"D'12", "error 1@0"},
      {"B'102'", "error 1@0"},
      {"D'1A'", "error 1@0"},
      {"H'1G'", "error 1@0"},
      {"H'1:'", "error 1@0"},
      {"x + H'12G'", "error 1@4"},
      {"0XFF", "0@0 sym:XFF@1"},
      {"0X1F", "0@0 sym:X1F@1"},
      {"0x", "error 1@0"},
      {"0xg", "error 1@0"},
      {"1+$", "error 1@2"},
      {"4294967296", "0@0"},
      {"4294967295", "-1@0"},
      {"$100000000", "0@0"},
      {"2147483648", "-2147483648@0"},
      {"010", "10@0"},
      {"a<<2", "sym:a@0 op:<<@1 2@3"},
      {"a>>2", "sym:a@0 op:>>@1 2@3"},
      {"a<2", "error 1@1"},
      {"a>2", "error 1@1"},
      {"DSTART", "rw:2@0 sym:TART@2"},
      {"Org", "rw:0@0"},
      {"ORGX", "rw:0@0 sym:X@3"},
      {"EQUATE", "rw:1@0 sym:ATE@3"},
      {"x0 LOOP10 _tmp9", "sym:x0@0 sym:LOOP10@3 sym:_tmp9@10"},
      {"12AB", "12@0 sym:AB@2"},
      {"3+x", "3@0 op:+@1 sym:x@2"},
      {"-1--2", "op:-@0 1@1 op:-@2 op:-@3 2@4"},
      {"~a|b^c&d%e/f*g",
       "op:~@0 sym:a@1 op:|@2 sym:b@3 op:^@4 sym:c@5 op:&@6 sym:d@7 op:%@8 "
       "sym:e@9 op:/@10 sym:f@11 op:*@12 sym:g@13"},
      {"(x)", "(@0 sym:x@1 )@2"},
      {"x,y", "error 1@1"},
      {"x;", "error 1@1"},
      {"'a'", "error 1@0"},
      {"\"", "error 1@0"},
      {"a\xC3\xA9", "error 1@1"},
  };
  for (const Case& c : cases) EXPECT_EQ(tokens_of(c.text), c.expected) << "text: " << c.text;
}

TEST(Tokenizer, SymbolsStayInTheTableAfterAFailure) {
  fresh();
  int32_t column = 0;
  EXPECT_EQ(tokenize_expression("alpha + Alpha + 1:", column), nullptr);
  EXPECT_EQ(column, 17);
  EXPECT_EQ(symbol_find("alpha"), 0);
  EXPECT_EQ(symbol_find("Alpha"), 1);
}

TEST(Parser, TreesAndErrors) {
  const Case cases[] = {
      {"(a+1)*-b", "(* (+ sym:a 1) (neg sym:b))"},
      {"8-4-2", "(- (- 8 4) 2)"},
      {"16/4/2", "(/ (/ 16 4) 2)"},
      {"1<<2+1", "(<< 1 (+ 2 1))"},
      {"6&3|8", "(| (& 6 3) 8)"},
      {"2*3+4*5", "(+ (* 2 3) (* 4 5))"},
      {"(1+2)*3", "(* (+ 1 2) 3)"},
      {"((5))", "5"},
      {"(1+2)*(3+4)", "(* (+ 1 2) (+ 3 4))"},
      {"-x+1", "(+ (neg sym:x) 1)"},
      {"2--3", "(- 2 (neg 3))"},
      {"--3", "(neg (neg 3))"},
      {"-~5", "(neg (~ 5))"},
      {"((1+2))", "(+ 1 2)"},
      {"", "error 2@0"},
      {"   ", "error 2@0"},
      {"5+", "error 2@0"},
      {"*5", "error 2@0"},
      {"()", "error 2@0"},
      {"  (())", "error 2@3"},
      {"()+1", "error 2@0"},
      {")", "error 3@0"},
      {"(1))", "error 3@3"},
      {"1)+(2", "error 3@1"},
      {"((1)", "error 3@0"},
      {"a)((b", "error 3@2"},
      {"(1", "error 3@0"},
      {"(+)", "error 4@1"},
      {"~", "error 4@0"},
      {"5+-", "error 4@2"},
      {"2 3", "error 5@0"},
      {"(2)(3)", "error 5@0"},
      {"(2) 3", "error 5@0"},
      {"5 ~3", "error 6@2"},
      {"2~3", "error 6@1"},
      {"x(-1)", "error 6@2"},
      {"x + DSTART", "error 10@4"},
      {"org", "error 10@0"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_of(c.text), c.expected) << "text: " << c.text;
}

TEST(Evaluator, Values) {
  const Case cases[] = {
      {"8-4-2", "2"},
      {"16/4/2", "2"},
      {"1<<2<<3", "32"},
      {"1<<2+1", "8"},
      {"6&3|8", "10"},
      {"2*3+4*5", "26"},
      {"-2*3", "-6"},
      {"2*-3", "-6"},
      {"2--3", "5"},
      {"--3", "3"},
      {"-~5", "6"},
      {"-7/2", "-3"},
      {"-7%2", "-1"},
      {"7%-2", "1"},
      {"-$80000000", "-2147483648"},
      {"~0", "-1"},
      {"-(~5)", "6"},
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
      {"1/0", "error 12"},
      {"1%0", "error 12"},
      {"5^3", "6"},
      // One row per pair of adjacent levels, where the two readings differ.
      {"6|3^5", "6"},
      {"6^3&5", "7"},
      {"3&1<<2", "0"},
      {"1<<2+1", "8"},
      {"2+3*4", "14"},
      {"~1*2", "-4"},
      {"x", "error 11"},
  };
  for (const Case& c : cases) EXPECT_EQ(value_of(c.text), c.expected) << "text: " << c.text;
}

TEST(Evaluator, ResumesWhereItStopped) {
  fresh();
  int32_t column = 0;
  ExprNode* root = parse_expression(tokenize_expression("1 + x", column), column);
  ASSERT_NE(root, nullptr);
  evaluate_expression(root);
  EXPECT_EQ(current_error, E_SYMBOL_UNDEFINED);
  EXPECT_EQ(error_symbol, symbol_find("x"));
  EXPECT_EQ(root->known, 0);
  EXPECT_EQ(root->left->known, 1);  // the finished left side keeps its value
  // Changing the known leaf shows it is not walked again.
  root->left->value = 100;
  SymbolEntry& x = symbol_at(symbol_find("x"));
  x.value = 5;
  x.valueKnown = 1;
  evaluate_expression(root);
  EXPECT_EQ(current_error, E_NONE);
  EXPECT_EQ(root->value, 105);
  // A symbol leaf keeps the value it had when it was read.
  x.value = 7;
  root->known = 0;
  evaluate_expression(root);
  EXPECT_EQ(root->value, 105);
}

TEST(Evaluator, LeftFailureLeavesRightUnvisited) {
  fresh();
  int32_t column = 0;
  ExprNode* root = parse_expression(tokenize_expression("a + b", column), column);
  ASSERT_NE(root, nullptr);
  evaluate_expression(root);
  EXPECT_EQ(error_symbol, symbol_find("a"));
  SymbolEntry& b = symbol_at(symbol_find("b"));
  b.valueKnown = 1;
  evaluate_expression(root);
  EXPECT_EQ(error_symbol, symbol_find("a"));
  EXPECT_EQ(root->right->known, 0);
}

}  // namespace
