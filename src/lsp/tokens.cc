// Semantic tokens: labels, mnemonics, literal operands, symbols, numbers, directives, comments.
#include "lsp/tokens.h"

#include "expr.h"

const char* const kTokenTypes[7] = {"keyword", "enumMember", "function", "variable",
                                    "number",  "macro",      "comment"};
const char* const kTokenModifiers[2] = {"declaration", "readonly"};

namespace {

enum TokenType {
  TT_MNEMONIC,
  TT_LITERAL,
  TT_LABEL,
  TT_SYMBOL,
  TT_NUMBER,
  TT_DIRECTIVE,
  TT_COMMENT
};
enum TokenModifier { TM_NONE = 0, TM_DECLARATION = 1, TM_READONLY = 2 };

struct Tokens {
  std::vector<int> data;
  int last_line = 0, last_start = 0;
  void add(int line, int start, int length, TokenType type, int modifiers = TM_NONE) {
    if (length <= 0) return;
    data.insert(data.end(), {line - last_line, line == last_line ? start - last_start : start,
                             length, type, modifiers});
    last_line = line;
    last_start = start;
  }
};

// Whether operand k of a statement of this mnemonic is, as written, a literal of some form.
bool is_literal(const Program& p, const std::string& mnemonic, int k, std::string_view text) {
  for (int32_t index : definitions_named(p.model.isa, mnemonic)) {
    const InstructionDef& d = p.model.isa.defs[static_cast<size_t>(index)];
    if (static_cast<size_t>(k) >= d.operands.size()) continue;
    const OperandSpec& op = d.operands[static_cast<size_t>(k)];
    if (!op.isNumeric && op.text.size() >= 2 && same_ignoring_case(op.literal, text)) return true;
  }
  return false;
}

// A name's token: a label is a function, a constant (an equ) a variable that is read only, and
// a name the program never defines a variable.
void name_token(Tokens& tokens, const Program& p, int line, int start, const std::string& name,
                int modifiers) {
  int32_t index = model_symbol(p.model, name);
  const ModelSymbol* symbol = index < 0 ? nullptr : &p.model.symbols[static_cast<size_t>(index)];
  if (symbol && symbol->defined && !symbol->equ) {
    tokens.add(line, start, static_cast<int>(name.size()), TT_LABEL, modifiers);
  } else {
    tokens.add(line, start, static_cast<int>(name.size()), TT_SYMBOL,
               modifiers | (symbol && symbol->equ ? TM_READONLY : TM_NONE));
  }
}

void operand_tokens(Tokens& tokens, const Program& p, int line, int column,
                    const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    size_t start = i;
    char c = text[i];
    if ((c == 'B' || c == 'b' || c == 'D' || c == 'd' || c == 'H' || c == 'h') &&
        i + 1 < text.size() && text[i + 1] == '\'') {
      size_t close = text.find('\'', i + 2);
      i = close == std::string::npos ? text.size() : close + 1;
      tokens.add(line, column + static_cast<int>(start), static_cast<int>(i - start), TT_NUMBER);
    } else if (is_digit(c) || (c == '$' && i + 1 < text.size() && is_hex_digit(text[i + 1]))) {
      ++i;
      while (i < text.size() && is_name_char(text[i])) ++i;
      tokens.add(line, column + static_cast<int>(start), static_cast<int>(i - start), TT_NUMBER);
    } else if (is_name_start(c)) {
      while (i < text.size() && is_name_char(text[i])) ++i;
      std::string word = text.substr(start, i - start);
      if (reserved_word(word) >= 0) {
        tokens.add(line, column + static_cast<int>(start), static_cast<int>(i - start),
                   TT_DIRECTIVE);
      } else {
        name_token(tokens, p, line, column + static_cast<int>(start), word, TM_NONE);
      }
    } else {
      ++i;
    }
  }
}

}  // namespace

json semantic_tokens(const Server& server, const Program& p, const std::string& path) {
  Tokens tokens;
  EditorText text = text_of(server, path);
  for (size_t n = 0; n < text.line_count(); ++n) {
    int line = static_cast<int>(n);
    std::string whole(text.line(line + 1));
    std::string code = whole;
    std::string name;
    if (parse_include_line(code, name) != INCLUDE_NONE) {
      tokens.add(line, static_cast<int>(code.find('#')), 8, TT_DIRECTIVE);
      continue;
    }
    split_line(code);
    const SplitLine& s = split_result();
    std::string mnemonic(s.mnemonic);
    if (!s.label.empty()) name_token(tokens, p, line, 0, std::string(s.label), TM_DECLARATION);
    if (!mnemonic.empty()) {
      int at = static_cast<int>(code.find(mnemonic, s.label.size()));
      tokens.add(line, at, static_cast<int>(mnemonic.size()),
                 reserved_word(mnemonic) >= 0 ? TT_DIRECTIVE : TT_MNEMONIC);
    }
    for (int k = 0; k < s.operandCount; ++k) {
      std::string operand(s.operands[k]);
      if (is_literal(p, mnemonic, k, operand)) {
        tokens.add(line, s.operandColumns[k], static_cast<int>(operand.size()), TT_LITERAL);
      } else {
        operand_tokens(tokens, p, line, s.operandColumns[k], operand);
      }
    }
    if (code.size() < whole.size()) {
      tokens.add(line, static_cast<int>(code.size()), static_cast<int>(whole.size() - code.size()),
                 TT_COMMENT);
    }
  }
  return {{"data", tokens.data}};
}
