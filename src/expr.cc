#include "expr.h"

#include <bit>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

#include "blocks.h"
#include "diag.h"
#include "source.h"
#include "symbols.h"

namespace {

// The tokens of the text being parsed; room for one token per character is reserved first, so
// the links between them stay valid.
std::vector<ExprToken> g_tokens;
BlockArray<ExprNode> g_nodes;

// The recognizers: > 0 accepted (the token's length), 0 not this form, < 0 a malformed token.
using Recognizer = int (*)(const char* text, int32_t& value);

int match_paren(const char* text, int32_t& value) {
  if (text[0] == '(') {
    value = PAREN_OPEN;
    return 1;
  }
  if (text[0] == ')') {
    value = PAREN_CLOSE;
    return 1;
  }
  return 0;
}

int match_radix_literal(const char* text, int32_t& value) {
  uint32_t base;
  switch (fold_case(text[0])) {
    case 'b':
      base = 2;
      break;
    case 'd':
      base = 10;
      break;
    case 'h':
      base = 16;
      break;
    default:
      return 0;
  }
  if (text[1] != '\'') return 0;
  uint32_t result = 0;
  int i = 2;
  for (; text[i] != '\''; ++i) {
    // Anything but a digit of the base, the end of the text included, is malformed.
    uint32_t digit = static_cast<uint32_t>(digit_value(text[i]));
    if (digit >= base) return -1;
    result = result * base + digit;
  }
  value = static_cast<int32_t>(result);
  return i + 1;
}

constexpr std::string_view kReservedWords[] = {"org", "equ", "ds"};

int match_reserved_word(const char* text, int32_t& value) {
  char first = fold_case(text[0]);
  for (int w = 0; w < 3; ++w) {
    std::string_view word = kReservedWords[w];
    if (word[0] != first) continue;
    size_t n = 0;
    while (n < word.size() && text[n] != '\0' && fold_case(text[n]) == word[n]) ++n;
    if (n == word.size()) {
      value = w;
      return static_cast<int>(n);
    }
  }
  return 0;
}

int match_hex_literal(const char* text, int32_t& value) {
  int i;
  if (text[0] == '$') {
    i = 1;
  } else if (text[0] == '0' && text[1] == 'x') {
    i = 2;
  } else {
    return 0;
  }
  int start = i;
  uint32_t result = 0;
  while (is_hex_digit(text[i]))
    result = result * 16 + static_cast<uint32_t>(digit_value(text[i++]));
  if (i == start) return -1;
  value = static_cast<int32_t>(result);
  return i;
}

int match_decimal_literal(const char* text, int32_t& value) {
  int i = 0;
  uint32_t result = 0;
  while (is_digit(text[i])) result = result * 10 + static_cast<uint32_t>(text[i++] - '0');
  if (i == 0) return 0;
  value = static_cast<int32_t>(result);
  return i;
}

// Indexed by OperatorCode; OP_NEG shares "-" with OP_SUB and so is never matched.
const char* const kOperatorTexts[OP_COUNT] = {"|", "^", "&", ">>", "<<", "-",
                                              "+", "%", "/", "*",  "~",  "-"};
// Indexed by OperatorCode; higher binds tighter.
const int kPrecedence[OP_COUNT] = {0, 1, 2, 3, 3, 4, 4, 5, 5, 5, 6, 6};

// The operator that starts with a character, + 1 (0: none); no two operators start alike.
struct OperatorByStart {
  uint8_t op[256] = {};
  OperatorByStart() {
    for (int code = OP_NEG - 1; code >= 0; --code) {
      op[static_cast<unsigned char>(kOperatorTexts[code][0])] = static_cast<uint8_t>(code + 1);
    }
  }
};
const OperatorByStart kOperatorByStart;

int match_operator(const char* text, int32_t& value) {
  int code = kOperatorByStart.op[static_cast<unsigned char>(text[0])] - 1;
  if (code < 0) return 0;
  const char* candidate = kOperatorTexts[code];
  int n = 0;
  while (candidate[n] != '\0' && text[n] == candidate[n]) ++n;
  if (candidate[n] != '\0') return 0;
  value = code;
  return n;
}

int match_symbol(const char* text, int32_t& value) {
  if (!is_name_start(text[0])) return 0;
  int n = 1;
  while (is_name_char(text[n])) ++n;
  value = symbol_find_or_add(std::string_view(text, static_cast<size_t>(n)));
  return n;
}

struct RecognizerEntry {
  Recognizer match;
  TokenKind kind;
  const char* starts;  // the characters a token of this form can start with
};

// The order is part of the syntax: B'101' is a number before it could be a symbol, and a name
// that begins with a reserved word is that word first.
const RecognizerEntry kRecognizers[] = {
    {match_paren, TOK_PAREN, "()"},
    {match_radix_literal, TOK_NUMBER, "bBdDhH"},
    {match_reserved_word, TOK_RESERVED, "oOeEdD"},
    {match_hex_literal, TOK_NUMBER, "$0"},
    {match_decimal_literal, TOK_NUMBER, "0123456789"},
    {match_operator, TOK_OPERATOR, "|^&><-+%/*~"},
    {match_symbol, TOK_SYMBOL, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_"},
};
constexpr int kRecognizerCount = sizeof kRecognizers / sizeof kRecognizers[0];

// For each first character, the recognizers worth trying (bit r for kRecognizers[r]); a
// recognizer that cannot start there would refuse the text anyway.
struct RecognizerChoice {
  uint8_t mask[256] = {};
  RecognizerChoice() {
    for (int r = 0; r < kRecognizerCount; ++r) {
      for (const char* c = kRecognizers[r].starts; *c; ++c) {
        mask[static_cast<unsigned char>(*c)] |= static_cast<uint8_t>(1u << r);
      }
    }
  }
};
const RecognizerChoice kChoice;

bool is_paren(const ExprToken* t, int32_t which) {
  return t->kind == TOK_PAREN && t->value == which;
}

int32_t make_node(const ExprToken* token) {
  ExprNode& node = g_nodes.emplace_back();
  node.kind = static_cast<uint8_t>(token->kind);
  node.tokenValue = token->value;
  return static_cast<int32_t>(g_nodes.size()) - 1;
}

// The left operand of the node at `index`: the next node for a binary operator.
int32_t left_of(const ExprNode& node, int32_t index) {
  bool binary = node.kind == TOK_OPERATOR && node.tokenValue != OP_NOT && node.tokenValue != OP_NEG;
  return binary ? index + 1 : kNoTree;
}

int32_t parse_failed(int32_t code, int32_t column, int32_t& error_column) {
  current_error = code;
  error_column = column;
  return kNoTree;
}

// Column of the first "(" that no later ")" closes.
int32_t unclosed_paren_column(ExprToken* first) {
  std::deque<ExprToken*> open;
  for (ExprToken* t = first; t; t = t->next) {
    if (is_paren(t, PAREN_OPEN)) {
      open.push_back(t);
    } else if (is_paren(t, PAREN_CLOSE) && !open.empty()) {
      open.pop_back();
    }
  }
  return open.empty() ? 0 : open.front()->column;
}

}  // namespace

void expr_reset() {
  g_nodes.clear();
  g_tokens.clear();
}

ExprNode& expr_node(int32_t index) {
  return g_nodes[static_cast<size_t>(index)];
}

int32_t left_operand(int32_t index) {
  return left_of(g_nodes[static_cast<size_t>(index)], index);
}

int32_t reserved_word(std::string_view text) {
  if (text.size() < 2 || text.size() > 3) return -1;
  for (int32_t w = 0; w < 3; ++w) {
    if (kReservedWords[w][0] == fold_case(text[0]) && same_ignoring_case(text, kReservedWords[w])) {
      return w;
    }
  }
  return -1;
}

ExprToken* tokenize_expression(const char* text, int32_t& error_column) {
  current_error = E_NONE;
  g_tokens.clear();
  g_tokens.reserve(std::strlen(text));
  ExprToken* first = nullptr;
  ExprToken* last = nullptr;
  int32_t pos = 0;
  while (text[pos] != '\0') {
    if (is_expression_space(text[pos])) {
      ++pos;
      continue;
    }
    int length = 0;
    int32_t value = 0;
    TokenKind kind = TOK_NUMBER;
    unsigned tries = kChoice.mask[static_cast<unsigned char>(text[pos])];
    for (; tries != 0; tries &= tries - 1) {
      int r = std::countr_zero(tries);
      length = kRecognizers[r].match(text + pos, value);
      if (length != 0) {
        kind = kRecognizers[r].kind;
        break;
      }
    }
    if (length <= 0) {
      current_error = E_INVALID_TOKEN;
      error_column = pos;
      return nullptr;
    }
    ExprToken* token = &g_tokens.emplace_back();
    token->kind = kind;
    token->value = value;
    token->column = pos;
    token->prev = last;
    if (last) {
      last->next = token;
    } else {
      first = token;
    }
    last = token;
    pos += length;
  }
  error_column = -1;
  return first;
}

int32_t parse_expression(ExprToken* first, int32_t& error_column) {
  error_column = -1;
  current_error = E_NONE;
  if (!first) return parse_failed(E_MISSING_EXPRESSION, 0, error_column);
  // A lone number or symbol, as most operands are, is its own tree.
  if (!first->next && (first->kind == TOK_NUMBER || first->kind == TOK_SYMBOL)) {
    return make_node(first);
  }

  // One walk: a reserved word fails at once; a "-" at the start, after an operator or after
  // "(" negates; every token learns its parenthesis depth; and the split is found: the loosest
  // operator at the shallowest depth, the later of equals, so binary operators group from the
  // left.
  int32_t counter = 0;
  int32_t operator_depth = NO_OPERATOR_DEPTH;
  ExprToken* last = first;
  ExprToken* last_close = nullptr;
  ExprToken* split = nullptr;
  for (ExprToken* t = first; t; t = t->next) {
    if (t->kind == TOK_RESERVED) return parse_failed(E_RESERVED_WORD, t->column, error_column);
    if (t->kind == TOK_OPERATOR && t->value == OP_SUB) {
      ExprToken* p = t->prev;
      if (!p || p->kind == TOK_OPERATOR || is_paren(p, PAREN_OPEN)) t->value = OP_NEG;
    }
    if (is_paren(t, PAREN_OPEN)) ++counter;
    if (is_paren(t, PAREN_CLOSE)) {
      --counter;
      last_close = t;
    }
    t->depth = counter;
    if (t->kind == TOK_OPERATOR) {
      if (t->depth < operator_depth) {
        operator_depth = t->depth;
        split = t;
      } else if (t->depth == operator_depth && kPrecedence[t->value] <= kPrecedence[split->value]) {
        split = t;
      }
    }
    last = t;
  }
  if (counter < 0) return parse_failed(E_MISMATCHED_PARENS, last_close->column, error_column);
  if (counter > 0) {
    return parse_failed(E_MISMATCHED_PARENS, unclosed_paren_column(first), error_column);
  }

  // Strip as many enclosing pairs as the shallowest operator is deep (all of them when there
  // is no operator).
  for (int32_t k = operator_depth;
       k != 0 && is_paren(first, PAREN_OPEN) && is_paren(last, PAREN_CLOSE); --k) {
    if (first->next == last) return parse_failed(E_MISSING_EXPRESSION, first->column, error_column);
    first = first->next;
    last = last->prev;
    first->prev = nullptr;
    last->next = nullptr;
  }

  if (first == last) {
    if (first->kind == TOK_NUMBER || first->kind == TOK_SYMBOL) return make_node(first);
    return parse_failed(E_INVALID_EXPRESSION, first->column, error_column);
  }

  if (!split) return parse_failed(E_MISSING_OPERATOR, 0, error_column);
  bool unary = split->value == OP_NOT || split->value == OP_NEG;
  if (unary) {
    // Only unary operators at this depth: the first one applies to everything after it.
    for (ExprToken* t = first; t; t = t->next) {
      if (t->kind == TOK_OPERATOR && t->depth == operator_depth &&
          kPrecedence[t->value] == UNARY_PRECEDENCE) {
        split = t;
        break;
      }
    }
  }

  ExprToken* left = split == first ? nullptr : first;
  ExprToken* right = split->next;
  if (split->prev) split->prev->next = nullptr;
  if (right) right->prev = nullptr;
  split->prev = split->next = nullptr;

  if (unary && left) return parse_failed(E_UNARY_TWO_PARAMS, split->column, error_column);

  // By index: making the operands' nodes may move this one.
  int32_t node = make_node(split);
  // A tree's root is the first node its parse makes, so the left operand starts right after
  // this node.
  if (!unary && parse_expression(left, error_column) == kNoTree) return kNoTree;
  int32_t operand = parse_expression(right, error_column);
  if (operand == kNoTree) return kNoTree;
  g_nodes[static_cast<size_t>(node)].right = operand;
  return node;
}

void evaluate_expression(int32_t tree) {
  current_error = E_NONE;
  ExprNode* node = &g_nodes[static_cast<size_t>(tree)];
  if (node->known) return;
  if (node->kind == TOK_NUMBER) {
    node->value = node->tokenValue;
    node->known = 1;
    return;
  }
  if (node->kind == TOK_SYMBOL) {
    const SymbolEntry& entry = symbol_at(node->tokenValue);
    if (!entry.valueKnown) {
      current_error = E_SYMBOL_UNDEFINED;
      error_symbol = node->tokenValue;
      return;
    }
    node->value = entry.value;
    node->known = 1;
    return;
  }
  // An operator: its operands first, the left one before the right one.
  int32_t left = left_of(*node, tree);
  if (left != kNoTree) {
    evaluate_expression(left);
    if (current_error != E_NONE) return;
  }
  if (node->right != kNoTree) {
    evaluate_expression(node->right);
    if (current_error != E_NONE) return;
  }
  // Operators work on unsigned values so that every result wraps instead of overflowing.
  int32_t a = left != kNoTree ? g_nodes[static_cast<size_t>(left)].value : 0;
  int32_t b = node->right != kNoTree ? g_nodes[static_cast<size_t>(node->right)].value : 0;
  uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
  uint32_t result = 0;
  switch (node->tokenValue) {
    case OP_OR:
      result = ua | ub;
      break;
    case OP_XOR:
      result = ua ^ ub;
      break;
    case OP_AND:
      result = ua & ub;
      break;
    case OP_SHR:
      result = static_cast<uint32_t>(a >> (ub & 31u));
      break;
    case OP_SHL:
      result = ua << (ub & 31u);
      break;
    case OP_SUB:
      result = ua - ub;
      break;
    case OP_ADD:
      result = ua + ub;
      break;
    case OP_MUL:
      result = ua * ub;
      break;
    case OP_NOT:
      result = ~ub;
      break;
    case OP_NEG:
      result = 0u - ub;
      break;
    case OP_MOD:
    case OP_DIV:
      if (b == 0) {
        current_error = E_DIVIDE_BY_ZERO;
        return;
      }
      if (a == INT32_MIN && b == -1) {
        // The quotient does not fit; it wraps like every other result.
        result = node->tokenValue == OP_DIV ? ua : 0u;
      } else {
        result = static_cast<uint32_t>(node->tokenValue == OP_DIV ? a / b : a % b);
      }
      break;
    default:
      break;
  }
  node->value = static_cast<int32_t>(result);
  node->known = 1;
}
