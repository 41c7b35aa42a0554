// Expressions: the tokenizer, the parser that builds trees of nodes, and the evaluator.
#include "expr.h"

#include <cassert>
#include <iterator>
#include <string_view>
#include <vector>

#include "blocks.h"
#include "diag.h"
#include "source.h"
#include "symbols.h"

namespace {

// The tokens of the text being parsed.
std::vector<ExprToken> g_tokens;
BlockList<ExprNode> g_nodes;

// What a recognizer makes of the text: a length > 0 accepts a token of that length and value,
// 0 means not this form, and < 0 a malformed token.
struct Match {
  int length = 0;
  int32_t value = 0;
};
using Recognizer = Match (*)(const char* text);

Match match_paren(const char* text) {
  if (text[0] == '(') return {1, PAREN_OPEN};
  if (text[0] == ')') return {1, PAREN_CLOSE};
  return {};
}

Match match_radix_literal(const char* text) {
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
      return {};
  }
  if (text[1] != '\'') return {};
  uint32_t result = 0;
  int i = 2;
  for (; text[i] != '\''; ++i) {
    // Anything but a digit of the base, the end of the text included, is malformed.
    uint32_t digit = static_cast<uint32_t>(digit_value(text[i]));
    if (digit >= base) return {-1, 0};
    result = result * base + digit;
  }
  return {i + 1, static_cast<int32_t>(result)};
}

constexpr std::string_view kReservedWords[] = {"org", "equ", "ds"};

Match match_reserved_word(const char* text) {
  char first = fold_case(text[0]);
  for (int w = 0; w < 3; ++w) {
    std::string_view word = kReservedWords[w];
    if (word[0] != first) continue;
    size_t n = 0;
    while (n < word.size() && text[n] != '\0' && fold_case(text[n]) == word[n]) ++n;
    if (n == word.size()) return {static_cast<int>(n), w};
  }
  return {};
}

Match match_hex_literal(const char* text) {
  int i;
  if (text[0] == '$') {
    i = 1;
  } else if (text[0] == '0' && text[1] == 'x') {
    i = 2;
  } else {
    return {};
  }
  int start = i;
  uint32_t result = 0;
  while (is_hex_digit(text[i]))
    result = result * 16 + static_cast<uint32_t>(digit_value(text[i++]));
  if (i == start) return {-1, 0};
  return {i, static_cast<int32_t>(result)};
}

Match match_decimal_literal(const char* text) {
  int i = 0;
  uint32_t result = 0;
  while (is_digit(text[i])) result = result * 10 + static_cast<uint32_t>(text[i++] - '0');
  if (i == 0) return {};
  return {i, static_cast<int32_t>(result)};
}

// By OperatorCode; OP_NEG shares "-" with OP_SUB and so is never matched.
constexpr const char* kOperatorTexts[] = {"|", "^", "&", ">>", "<<", "-",
                                          "+", "%", "/", "*",  "~",  "-"};
static_assert(std::size(kOperatorTexts) == OP_COUNT, "an operator text for each OperatorCode");
// By OperatorCode; higher binds tighter.
constexpr int kPrecedence[] = {0, 1, 2, 3, 3, 4, 4, 5, 5, 5, 6, 6};
static_assert(std::size(kPrecedence) == OP_COUNT, "a precedence for each OperatorCode");
static_assert(kPrecedence[OP_NOT] == UNARY_PRECEDENCE && kPrecedence[OP_NEG] == UNARY_PRECEDENCE);

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

Match match_operator(const char* text) {
  int code = kOperatorByStart.op[static_cast<unsigned char>(text[0])] - 1;
  if (code < 0) return {};
  // Its first character matched; operators are one or two characters long.
  const char* candidate = kOperatorTexts[code];
  if (candidate[1] == '\0') return {1, code};
  return text[1] == candidate[1] ? Match{2, code} : Match{};
}

Match match_symbol(const char* text) {
  if (!is_name_start(text[0])) return {};
  int n = 1;
  while (is_name_char(text[n])) ++n;
  return {n, symbol_find_or_add(std::string_view(text, static_cast<size_t>(n)))};
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
constexpr int kRecognizerCount = static_cast<int>(std::size(kRecognizers));

// For each first character, the recognizers that can start there, in kRecognizers' order and
// ended by -1: a recognizer that cannot start there would refuse the text anyway. No character
// starts more than three forms (d: a radix literal, a reserved word, a symbol).
struct RecognizerChoice {
  int8_t order[256][4];
  RecognizerChoice() {
    int count[256] = {};
    for (int r = 0; r < kRecognizerCount; ++r) {
      for (const char* start = kRecognizers[r].starts; *start; ++start) {
        unsigned char c = static_cast<unsigned char>(*start);
        order[c][count[c]++] = static_cast<int8_t>(r);
      }
    }
    for (int c = 0; c < 256; ++c) order[c][count[c]] = -1;
  }
};
const RecognizerChoice kChoice;

bool is_paren(const ExprToken& t, int32_t which) {
  return t.kind == TOK_PAREN && t.value == which;
}

void set_node(ExprNode& node, const ExprToken& token) {
  node.kind = static_cast<uint8_t>(token.kind);
  // An operator's `ref` is set to its right operand once that is parsed; `op` means nothing
  // for a leaf.
  node.value = token.value;
  node.ref = token.value;
  node.op = static_cast<uint8_t>(token.value);
}

// Nodes are made one at a time in the order a parse meets them, so their indices are
// consecutive: a tree's root is the first node its parse makes, and a binary operator's left
// operand starts right after it. No node keeps its left operand's index; left_operand() derives
// it from this rule. The right operand (a unary operator's only one) is where `ref` says.
int32_t make_node(const ExprToken& token) {
  set_node(g_nodes.emplace_back(), token);
  return static_cast<int32_t>(g_nodes.size()) - 1;
}

// A leaf, a binary operator and a leaf, the commonest operand after a lone leaf: the three
// nodes the general parse would make, in its order (operator, left, right), without the walk
// that finds the split.
int32_t make_leaf_operator_leaf(std::span<const ExprToken> tokens) {
  int32_t node = make_node(tokens[1]);
  make_node(tokens[0]);
  g_nodes[static_cast<size_t>(node)].ref = make_node(tokens[2]);
  return node;
}

// A lone number or symbol, as most operands are, is its own tree.
bool is_leaf(std::span<const ExprToken> tokens) {
  return tokens.size() == 1 && (tokens[0].kind == TOK_NUMBER || tokens[0].kind == TOK_SYMBOL);
}

// An operator's operand: a lone leaf is made into its node here, without a parse of its own.
int32_t parse_operand(std::span<ExprToken> tokens, int32_t& error_column) {
  return is_leaf(tokens) ? make_node(tokens[0]) : parse_expression(tokens, error_column);
}

bool is_unary(int32_t op) {
  return op == OP_NOT || op == OP_NEG;
}

// The left operand of `node`, found at `index`: the next node for a binary operator.
int32_t left_operand(const ExprNode& node, int32_t index) {
  bool binary = node.kind == TOK_OPERATOR && !is_unary(node.op);
  return binary ? index + 1 : kNoTree;
}

int32_t parse_failed(int32_t code, int32_t column, int32_t& error_column) {
  current_error = code;
  error_column = column;
  return kNoTree;
}

// Column of the first "(" that no later ")" closes.
int32_t unclosed_paren_column(std::span<const ExprToken> tokens) {
  std::vector<int32_t> open;
  for (const ExprToken& t : tokens) {
    if (is_paren(t, PAREN_OPEN)) {
      open.push_back(t.column);
    } else if (is_paren(t, PAREN_CLOSE) && !open.empty()) {
      open.pop_back();
    }
  }
  return open.empty() ? 0 : open.front();
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
  return left_operand(g_nodes[static_cast<size_t>(index)], index);
}

int32_t right_operand(int32_t index) {
  const ExprNode& node = g_nodes[static_cast<size_t>(index)];
  return node.kind == TOK_OPERATOR ? node.ref : kNoTree;
}

int32_t reserved_word(std::string_view text) {
  if (text.size() < 2 || text.size() > 3) return -1;
  for (int32_t w = 0; w < 3; ++w) {
    // The words are small letters only, and c | 0x20 is the small letter for that letter and
    // its capital and for no other character.
    std::string_view word = kReservedWords[w];
    if ((text[0] | 0x20) != word[0]) continue;
    size_t n = 1;
    while (n < word.size() && n < text.size() && (text[n] | 0x20) == word[n]) ++n;
    if (n == word.size() && n == text.size()) return w;
  }
  return -1;
}

bool starts_with_reserved_word(std::string_view text) {
  std::string copy(text);
  return match_reserved_word(copy.c_str()).length > 0;
}

std::span<ExprToken> tokenize_expression(const char* text, int32_t& error_column) {
  current_error = E_NONE;
  g_tokens.clear();
  for (const char* at = text; *at != '\0';) {
    if (is_expression_space(*at)) {
      ++at;
      continue;
    }
    Match match;
    TokenKind kind = TOK_NUMBER;
    for (const int8_t* r = kChoice.order[static_cast<unsigned char>(*at)]; *r >= 0; ++r) {
      match = kRecognizers[*r].match(at);
      if (match.length != 0) {
        kind = kRecognizers[*r].kind;
        break;
      }
    }
    int32_t column = static_cast<int32_t>(at - text);
    if (match.length <= 0) {
      current_error = E_INVALID_TOKEN;
      error_column = column;
      return {};
    }
    g_tokens.push_back(ExprToken{kind, 0, column, match.value});
    at += match.length;
  }
  error_column = -1;
  return g_tokens;
}

int32_t parse_expression(std::span<ExprToken> tokens, int32_t& error_column) {
  error_column = -1;
  current_error = E_NONE;
  if (tokens.empty()) return parse_failed(E_MISSING_EXPRESSION, 0, error_column);
  if (is_leaf(tokens)) return make_node(tokens[0]);
  if (tokens.size() == 3 && tokens[1].kind == TOK_OPERATOR && !is_unary(tokens[1].value) &&
      is_leaf(tokens.first(1)) && is_leaf(tokens.last(1))) {
    return make_leaf_operator_leaf(tokens);
  }

  // One walk: a reserved word fails at once; a "-" at the start, after an operator or after
  // "(" negates; every token learns its parenthesis depth; and the split is found: the loosest
  // operator at the shallowest depth, the later of equals, so binary operators group from the
  // left.
  int32_t counter = 0;
  int32_t operator_depth = NO_OPERATOR_DEPTH;
  const ExprToken* last_close = nullptr;
  size_t split = tokens.size();  // none yet
  for (size_t i = 0; i < tokens.size(); ++i) {
    ExprToken& t = tokens[i];
    if (t.kind == TOK_RESERVED) return parse_failed(E_RESERVED_WORD, t.column, error_column);
    if (t.kind == TOK_OPERATOR && t.value == OP_SUB) {
      if (i == 0 || tokens[i - 1].kind == TOK_OPERATOR || is_paren(tokens[i - 1], PAREN_OPEN)) {
        t.value = OP_NEG;
      }
    }
    if (is_paren(t, PAREN_OPEN)) ++counter;
    if (is_paren(t, PAREN_CLOSE)) {
      --counter;
      last_close = &t;
    }
    t.depth = counter;
    if (t.kind == TOK_OPERATOR) {
      if (t.depth < operator_depth) {
        operator_depth = t.depth;
        split = i;
      } else if (t.depth == operator_depth &&
                 kPrecedence[t.value] <= kPrecedence[tokens[split].value]) {
        split = i;
      }
    }
  }
  if (counter < 0) return parse_failed(E_MISMATCHED_PARENS, last_close->column, error_column);
  if (counter > 0) {
    return parse_failed(E_MISMATCHED_PARENS, unclosed_paren_column(tokens), error_column);
  }

  // Strip as many enclosing pairs as the shallowest operator is deep (all of them when there
  // is no operator).
  size_t first = 0, end = tokens.size();
  for (int32_t k = operator_depth;
       k != 0 && is_paren(tokens[first], PAREN_OPEN) && is_paren(tokens[end - 1], PAREN_CLOSE);
       --k) {
    if (end - first == 2)
      return parse_failed(E_MISSING_EXPRESSION, tokens[first].column, error_column);
    ++first;
    --end;
  }

  if (end - first == 1) {
    if (is_leaf(tokens.subspan(first, 1))) return make_node(tokens[first]);
    return parse_failed(E_INVALID_EXPRESSION, tokens[first].column, error_column);
  }

  if (split == tokens.size()) return parse_failed(E_MISSING_OPERATOR, 0, error_column);
  bool unary = is_unary(tokens[split].value);
  if (unary) {
    // Only unary operators at this depth: the first one applies to everything after it.
    for (size_t i = first; i < end; ++i) {
      const ExprToken& t = tokens[i];
      if (t.kind == TOK_OPERATOR && t.depth == operator_depth &&
          kPrecedence[t.value] == UNARY_PRECEDENCE) {
        split = i;
        break;
      }
    }
  }
  if (unary && split != first) {
    return parse_failed(E_UNARY_TWO_PARAMS, tokens[split].column, error_column);
  }

  // By index, as every node is referred to; the left operand's root must be the next node.
  int32_t node = make_node(tokens[split]);
  if (!unary) {
    int32_t left = parse_operand(tokens.subspan(first, split - first), error_column);
    if (left == kNoTree) return kNoTree;
    assert(left == node + 1);
  }
  int32_t operand = parse_operand(tokens.subspan(split + 1, end - split - 1), error_column);
  if (operand == kNoTree) return kNoTree;
  g_nodes[static_cast<size_t>(node)].ref = operand;
  return node;
}

namespace {

// A number or a symbol: its value, when the symbol has one.
void evaluate_leaf(ExprNode& node) {
  if (node.kind == TOK_NUMBER) {
    node.known = 1;
    return;
  }
  const SymbolEntry& entry = symbol_at(node.ref);
  if (!entry.valueKnown) {
    current_error = E_SYMBOL_UNDEFINED;
    error_symbol = node.ref;
    return;
  }
  node.value = entry.value;
  node.known = 1;
}

}  // namespace

void evaluate_expression(int32_t tree) {
  current_error = E_NONE;
  ExprNode* node = &g_nodes[static_cast<size_t>(tree)];
  if (node->known) return;
  if (node->kind != TOK_OPERATOR) {
    evaluate_leaf(*node);
    return;
  }
  // An operator: its operands first, the left one before the right one.
  int32_t operands[2] = {left_operand(*node, tree), node->ref};
  int32_t values[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    if (operands[k] == kNoTree) continue;
    ExprNode& child = g_nodes[static_cast<size_t>(operands[k])];
    if (!child.known) {
      if (child.kind == TOK_OPERATOR) {
        evaluate_expression(operands[k]);
      } else {
        evaluate_leaf(child);
      }
      if (current_error != E_NONE) return;
    }
    values[k] = child.value;
  }
  // Operators work on unsigned values so that every result wraps instead of overflowing.
  int32_t a = values[0], b = values[1];
  uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
  uint32_t result = 0;
  switch (node->op) {
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
        result = node->op == OP_DIV ? ua : 0u;
      } else {
        result = static_cast<uint32_t>(node->op == OP_DIV ? a / b : a % b);
      }
      break;
    default:
      break;
  }
  node->value = static_cast<int32_t>(result);
  node->known = 1;
}
