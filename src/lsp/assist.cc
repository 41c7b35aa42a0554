// Signature help, hover on numbers and on inst.dat's lines, and workspace symbols.
#include "lsp/assist.h"

#include <algorithm>
#include <bit>
#include <set>

#include "expr.h"
#include "pass1.h"

namespace {

// The bits a definition takes from an operand, in words: "5 bits (f4-f0)".
std::string width_text(const InstructionDef& def, int operand) {
  const OperandSpec& op = def.operands[static_cast<size_t>(operand)];
  if (!op.isNumeric) return "the literal " + op.literal;
  int top;
  uint32_t mask = field_mask(def, operand, top);
  int taken = std::popcount(mask);
  if (taken == 0) return "no bits of the word: any value";
  return std::to_string(taken) + " bit" + (taken == 1 ? "" : "s") + " of the word (" +
         std::string(1, op.letter) + std::to_string(top) + " down to " + std::string(1, op.letter) +
         std::to_string(std::countr_zero(mask)) + ")";
}

std::string binary(uint32_t value) {
  std::string out;
  do out.insert(out.begin(), static_cast<char>('0' + (value & 1))), value >>= 1;
  while (value);
  return out;
}

const ModelStatement* statement_here(const Program& p, const Place& at, int& column) {
  int32_t file = file_index(p, at.path);
  if (file < 0) return nullptr;
  int piece =
      piece_of(p.model.files[static_cast<size_t>(file)].map, {at.line + 1, at.character}, column);
  return statement_at(p.model, file, piece);
}

}  // namespace

json signature_help(const Program& p, const Place& at) {
  int operand;
  if (field_at(at.text, at.character, operand) != 2) return nullptr;
  std::string code = at.text;
  split_line(code);
  const SplitLine& s = split_result();
  json signatures = json::array();
  int active = -1;
  for (int32_t index : definitions_named(p.model.isa, s.mnemonic)) {
    const InstructionDef& def = p.model.isa.defs[static_cast<size_t>(index)];
    json parameters = json::array();
    std::string label = def.name;
    for (int k = 0; k < def.operandCount; ++k) {
      label += (k ? "," : " ") + def.operands[static_cast<size_t>(k)].text;
      parameters.push_back({{"label", def.operands[static_cast<size_t>(k)].text},
                            {"documentation", width_text(def, k)}});
    }
    // The first form that has the operand being typed is the one shown.
    if (def.operandCount > operand && active < 0) active = static_cast<int>(signatures.size());
    signatures.push_back({{"label", label},
                          {"documentation", "inst.dat line " + std::to_string(def.line) +
                                                ": bits " + bit_layout(def)},
                          {"parameters", parameters}});
  }
  if (signatures.empty()) return nullptr;
  return {{"signatures", signatures},
          {"activeSignature", std::max(active, 0)},
          {"activeParameter", operand}};
}

json number_hover(const Program& p, const Place& at) {
  std::string code = at.text;
  split_line(code);
  const SplitLine& s = split_result();
  for (int k = 0; k < s.operandCount; ++k) {
    int start = s.operandColumns[k];
    int end = start + static_cast<int>(s.operands[k].size());
    if (at.character < start || at.character > end) continue;
    std::string operand(s.operands[k]);
    int32_t error = -1;
    std::span<ExprToken> tokens = tokenize_expression(operand.c_str(), error);
    const ExprToken* number = nullptr;
    for (size_t t = 0; t < tokens.size(); ++t) {
      int from = start + tokens[t].column;
      int to = t + 1 < tokens.size() ? start + tokens[t + 1].column : end;
      if (at.character >= from && at.character <= to && tokens[t].kind == TOK_NUMBER) {
        number = &tokens[t];
      }
    }
    if (!number) return nullptr;
    uint32_t v = static_cast<uint32_t>(number->value);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", v);
    std::string markdown = "**" + std::to_string(number->value) + "**: hexadecimal `" + hex +
                           "`, decimal `" + std::to_string(number->value) + "`, binary `" +
                           binary(v) + "`";
    int column;
    const ModelStatement* st = statement_here(p, at, column);
    if (st && st->kind >= 0) {
      const InstructionDef& def = p.model.isa.defs[static_cast<size_t>(st->kind)];
      if (k < def.operandCount && def.operands[static_cast<size_t>(k)].isNumeric) {
        int top;
        uint32_t mask = field_mask(def, k, top);
        bool fits = top < 0 || fits_field(number->value, mask, top);
        std::snprintf(hex, sizeof hex, "0x%x", v & mask);
        markdown += "\n\n" + std::string(fits ? "fits" : "does not fit") + " operand " +
                    std::to_string(k + 1) + " of `" + def.name + "`: " + width_text(def, k) +
                    (fits ? "" : std::string("; it is cut to `") + hex + "`");
      }
    }
    return {{"contents", {{"kind", "markdown"}, {"value", markdown}}}};
  }
  return nullptr;
}

json definition_hover(const Program& p, const Place& at) {
  for (const InstructionDef& def : p.model.isa.defs) {
    if (def.place.line != at.line + 1) continue;
    std::string text = def.name;
    for (const OperandSpec& op : def.operands) text += " " + op.text;
    std::string markdown = "**" + def.name + "** `" + text + "`\n\nbits: `" + bit_layout(def) +
                           "` (" + std::to_string(def.bitCount) + " bits)";
    for (int k = 0; k < def.operandCount; ++k) {
      markdown += "\n\noperand " + std::to_string(k + 1) + " `" +
                  def.operands[static_cast<size_t>(k)].text + "`: " + width_text(def, k);
    }
    return {{"contents", {{"kind", "markdown"}, {"value", markdown}}}};
  }
  return nullptr;
}

json workspace_symbols(const Server& server, const std::string& query) {
  json found = json::array();
  std::set<std::string> seen;
  std::string wanted = fold_case(query);
  for (const auto& [source, program] : server.programs) {
    const Program& p = *program;
    for (const ModelSymbol& symbol : p.model.symbols) {
      if (!symbol.defined || symbol.statement < 0) continue;
      if (fold_case(symbol.name).find(wanted) == std::string::npos) continue;
      const ModelStatement& s = p.model.statements[static_cast<size_t>(symbol.statement)];
      const std::string& file = p.paths[static_cast<size_t>(s.file)];
      int line = statement_place(p.model, s).line - 1;
      if (!seen.insert(symbol.name + "\n" + file + "\n" + std::to_string(line)).second) continue;
      found.push_back(
          {{"name", symbol.name},
           {"kind", symbol.equ ? 14 : 12},
           {"location", location(file, line, 0, static_cast<int>(symbol.name.size()))}});
    }
  }
  return found;
}
