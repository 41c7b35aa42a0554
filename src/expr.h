// Expressions: operand text to tokens, tokens to a tree, and trees to 32-bit values.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

enum TokenKind : int32_t {
  TOK_NUMBER = 1,
  TOK_SYMBOL = 2,
  TOK_OPERATOR = 3,
  TOK_PAREN = 4,
  TOK_RESERVED = 5,
};

enum OperatorCode : int32_t {
  OP_OR = 0,
  OP_XOR,
  OP_AND,
  OP_SHR,
  OP_SHL,
  OP_SUB,
  OP_ADD,
  OP_MOD,
  OP_DIV,
  OP_MUL,
  OP_NOT,
  OP_NEG,
  OP_COUNT
};

enum ParenCode : int32_t { PAREN_OPEN = 0, PAREN_CLOSE = 1 };
enum ReservedWord : int32_t { RW_ORG = 0, RW_EQU = 1, RW_DS = 2 };

constexpr int UNARY_PRECEDENCE = 6;
constexpr int NO_OPERATOR_DEPTH = 99999;

struct ExprToken {
  int32_t kind = 0;
  int32_t depth = 0;
  int32_t column = 0;
  int32_t value = 0;
};

// A node keeps what it needs of the token it was made from: the tokens of a text last only
// until the next text is tokenized. Nodes and trees are referred to by index. A binary
// operator's left operand is not stored: it is the next node (left_operand; the parser's
// make_node says why). Its right operand, a unary operator's only one, is where `ref` says; a
// symbol's `ref` is the symbol. Twelve bytes, as a large program is mostly nodes. The parser
// sets every field but `known` of each node it makes; a new block of nodes has it cleared.
struct ExprNode {
  // A number's from the start, any other node's once known. A number too counts as known only
  // once evaluated: a ds count, say, is not known before the operand sweep reaches it.
  int32_t value;
  int32_t ref;  // an operator's right operand, a symbol's index
  uint8_t known = 0;
  uint8_t kind;  // TOK_NUMBER, TOK_SYMBOL or TOK_OPERATOR
  uint8_t op;    // an operator's OperatorCode
};
static_assert(sizeof(ExprNode) == 12);
constexpr int32_t kNoTree = -1;

// Nodes live in one array owned by this module until expr_reset: trees stay valid for the
// whole run, and nothing a failed parse leaves behind can leak.
void expr_reset();
ExprNode& expr_node(int32_t index);
// A node's left operand: kNoTree for a number, a symbol or a unary operator.
int32_t left_operand(int32_t node);
// A node's right operand (a unary operator's only one): kNoTree for a number or a symbol.
int32_t right_operand(int32_t node);

// Returns the tokens, none for an empty text or a failure; error_column is -1 on success and
// the column of the failing token otherwise (current_error = E_INVALID_TOKEN). The tokens are
// valid until the next call.
std::span<ExprToken> tokenize_expression(const char* text, int32_t& error_column);
// The reserved word a text is, whole and ignoring letter case, or -1.
int32_t reserved_word(std::string_view text);
// Whether a text starts with a reserved word, as the tokenizer reads it: a name that does can
// never be named by an expression, which reads the word first.
bool starts_with_reserved_word(std::string_view text);
// Takes the tokens over. Returns the root, or kNoTree with error_column and current_error set.
int32_t parse_expression(std::span<ExprToken> tokens, int32_t& error_column);
// Computes what it can; known subtrees are never walked again.
void evaluate_expression(int32_t tree);
