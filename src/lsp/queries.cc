// Hover, definition, references, completion and document symbols, as queries over the model.
#include "lsp/queries.h"

#include <algorithm>
#include <set>

#include "expr.h"
#include "pass1.h"

namespace {

// The name under a position, or "".
std::string word_at(const std::string& line, int character) {
  size_t at = std::min(static_cast<size_t>(character), line.size());
  size_t start = at, end = at;
  while (start > 0 && is_name_char(line[start - 1])) --start;
  while (end < line.size() && is_name_char(line[end])) ++end;
  return line.substr(start, end - start);
}

}  // namespace

int field_at(const std::string& line, int character, int& operand) {
  std::string copy = line;
  split_line(copy);
  const SplitLine& s = split_result();
  size_t at = static_cast<size_t>(character);
  operand = -1;
  if (at > copy.size()) return -1;
  if (!s.label.empty() && at <= s.label.size()) return 0;
  size_t mnemonic = copy.find(s.mnemonic, s.label.size());
  if (s.mnemonic.empty() || at < mnemonic) return 1;
  if (at <= mnemonic + s.mnemonic.size()) return 1;
  operand = static_cast<int>(
      std::count(copy.begin() + static_cast<std::ptrdiff_t>(mnemonic + s.mnemonic.size()),
                 copy.begin() + static_cast<std::ptrdiff_t>(at), ','));
  return 2;
}

namespace {

// The statement of an editor line, from the piece that holds the position.
const ModelStatement* statement_of(const Program& p, const Place& at) {
  int32_t file = file_index(p, at.path);
  if (file < 0) return nullptr;
  int column;
  int piece =
      piece_of(p.model.files[static_cast<size_t>(file)].map, {at.line + 1, at.character}, column);
  return statement_at(p.model, file, piece);
}

const ModelSymbol* find_symbol(const Program& p, const std::string& name) {
  int32_t index = model_symbol(p.model, name);
  return index < 0 ? nullptr : &p.model.symbols[static_cast<size_t>(index)];
}

std::string definition_text(const InstructionDef& d) {
  std::string text = d.name;
  for (const OperandSpec& op : d.operands) text += " " + op.text;
  return text;
}

std::string why_not(const InstructionDef& d, const MatchFailure& miss, size_t operands) {
  if (miss.why == MISS_OPERAND_COUNT) {
    return "takes " + std::to_string(d.operands.size()) + " operands, not " +
           std::to_string(operands);
  }
  if (miss.why == MISS_LITERAL) {
    return "operand " + std::to_string(miss.operand + 1) + " must be the literal " +
           d.operands[static_cast<size_t>(miss.operand)].text;
  }
  return "an earlier definition fits first";
}

// The word a statement gets: the one stored for it; else, where pass 2 stopped short, the one
// its operands' values give when every one is known; else why there is none.
std::string word_text(const Program& p, const ModelStatement& s, const InstructionDef& d) {
  if (s.word >= 0) return ", word `" + hex3(s.word).substr(2) + "`";
  int32_t values[kMaxOperandValues] = {};
  for (int k = 0; k < d.operandCount && k < s.operandCount; ++k) {
    if (!d.operands[static_cast<size_t>(k)].isNumeric || k >= kMaxOperandValues) continue;
    const ModelOperand& operand = *statement_operand(p.model, s, k);
    if (!operand.expression || !operand.known) {
      return ", no word: operand " + std::to_string(k + 1) + " has no value";
    }
    values[k] = operand.value;
  }
  return ", word `" + hex3(encode_word(d, values)).substr(2) + "`";
}

std::string symbol_site(const Program& p, const ModelSymbol& symbol) {
  const ModelStatement& s = p.model.statements[static_cast<size_t>(symbol.statement)];
  return file_name_of(p.paths[static_cast<size_t>(s.file)]) + ":" +
         std::to_string(statement_place(p.model, s).line);
}

}  // namespace

json range(int line, int character, int length) {
  return {{"start", {{"line", line}, {"character", character}}},
          {"end", {{"line", line}, {"character", character + length}}}};
}

json location(const std::string& file, int line, int character, int length) {
  return {{"uri", uri_of(file)}, {"range", range(std::max(line, 0), character, length)}};
}

std::string hex3(int64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%03llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::optional<Place> place_of(const Server& server, const json& params) {
  if (!params.is_object() || !params.contains("textDocument") || !params.contains("position") ||
      !params["position"].is_object() || !params["textDocument"].is_object()) {
    return std::nullopt;
  }
  const json& position = params["position"];
  Place place{path_of(params["textDocument"].value("uri", "")), position.value("line", -1),
              position.value("character", -1), ""};
  if (place.line < 0 || place.character < 0) return std::nullopt;
  EditorText text = text_of(server, place.path);
  if (static_cast<size_t>(place.line) >= text.line_count()) return std::nullopt;
  place.text = text.line(place.line + 1);
  return place;
}

json hover(const Program& p, const Place& at) {
  int operand;
  int field = field_at(at.text, at.character, operand);
  std::string word = field < 0 ? "" : word_at(at.text, at.character);
  std::string markdown;
  const ModelStatement* s = statement_of(p, at);
  if (field == 1 && s && s->kind >= 0 && static_cast<size_t>(s->kind) < p.model.isa.defs.size()) {
    const InstructionDef& d = p.model.isa.defs[static_cast<size_t>(s->kind)];
    StatementTexts texts = statement_texts(p.model, *s);
    markdown = "**" + texts.mnemonic + "**";
    markdown += s->addressKnown ? " at " + hex3(s->address) : " (no address)";
    markdown += word_text(p, *s, d);
    markdown += "\n\n" + file_name_of(p.isa) + " line " + std::to_string(d.line) + ": `" +
                definition_text(d) + "`\n\nbits: `" + bit_layout(d) + "`";
    std::vector<std::string_view> operands(texts.operands.begin(), texts.operands.end());
    std::vector<MatchFailure> misses;
    match_instruction(p.model.isa, texts.mnemonic, operands, &misses);
    for (const MatchFailure& miss : misses) {
      const InstructionDef& other = p.model.isa.defs[static_cast<size_t>(miss.definition)];
      markdown += "\n\nline " + std::to_string(other.line) + " `" + definition_text(other) +
                  "`: " + why_not(other, miss, operands.size());
    }
  } else if (const ModelSymbol* symbol = word.empty() ? nullptr : find_symbol(p, word)) {
    markdown = "**" + symbol->name + "**";
    if (symbol->known) {
      markdown += " = `" + hex3(static_cast<uint32_t>(symbol->value)) + "` (" +
                  std::to_string(symbol->value) + ")";
    } else {
      markdown += ": no value";
    }
    if (symbol->defined && symbol->statement >= 0) {
      markdown += "\n\n" + std::string(symbol->equ ? "constant" : "label") + " defined at " +
                  symbol_site(p, *symbol);
    }
  }
  if (markdown.empty()) return nullptr;
  return {{"contents", {{"kind", "markdown"}, {"value", markdown}}}};
}

json definition(const Program& p, const Place& at) {
  std::string name;
  if (parse_include_line(at.text, name) == INCLUDE_FILE) {
    return location(absolute_in(p.dir, name), 0);
  }
  int operand;
  int field = field_at(at.text, at.character, operand);
  if (field < 0) return nullptr;
  std::string word = word_at(at.text, at.character);
  if (field == 1) {
    json found = json::array();
    for (int32_t index : definitions_named(p.model.isa, word)) {
      found.push_back(location(p.isa, p.model.isa.defs[static_cast<size_t>(index)].place.line - 1));
    }
    if (!found.empty()) return found;
  }
  const ModelSymbol* symbol = word.empty() ? nullptr : find_symbol(p, word);
  if (!symbol || !symbol->defined || symbol->statement < 0) return nullptr;
  const ModelStatement& s = p.model.statements[static_cast<size_t>(symbol->statement)];
  return location(p.paths[static_cast<size_t>(s.file)], statement_place(p.model, s).line - 1, 0,
                  static_cast<int>(symbol->name.size()));
}

json references(const Program& p, const Place& at) {
  int operand;
  std::string word =
      field_at(at.text, at.character, operand) < 0 ? "" : word_at(at.text, at.character);
  json found = json::array();
  if (word.empty() || !find_symbol(p, word)) return found;
  for (int32_t file = 0; file < p.model.sourceFiles; ++file) {
    const EditorText& text = p.model.files[static_cast<size_t>(file)].text;
    for (size_t n = 1; n <= text.line_count(); ++n) {
      std::string code(text.line(static_cast<int>(n)));
      split_line(code);  // without its comment
      for (size_t i = find_name(code, word); i != std::string_view::npos;
           i = find_name(code, word, i + 1)) {
        found.push_back(location(p.paths[static_cast<size_t>(file)], static_cast<int>(n) - 1,
                                 static_cast<int>(i), static_cast<int>(word.size())));
      }
    }
  }
  return found;
}

json completion(const Program& p, const Place& at) {
  int operand;
  int field = field_at(at.text, at.character, operand);
  json items = json::array();
  std::set<std::string> seen;
  const std::vector<InstructionDef>& defs = p.model.isa.defs;
  if (field == 1 || (field == 0 && at.text.empty())) {
    for (const InstructionDef& d : defs) {
      if (!seen.insert(fold_case(d.name)).second) continue;
      std::string forms;
      for (int32_t index : definitions_named(p.model.isa, d.name)) {
        forms += (forms.empty() ? "" : " | ") + definition_text(defs[static_cast<size_t>(index)]);
      }
      items.push_back({{"label", d.name}, {"kind", 14}, {"detail", forms}});
    }
    for (const char* directive : {"org", "equ", "ds"}) {
      items.push_back({{"label", directive}, {"kind", 14}, {"detail", "directive"}});
    }
    return items;
  }
  if (field != 2) return items;
  std::string copy = at.text;
  split_line(copy);
  std::string mnemonic(split_result().mnemonic);
  for (int32_t index : definitions_named(p.model.isa, mnemonic)) {
    const InstructionDef& d = defs[static_cast<size_t>(index)];
    if (static_cast<size_t>(operand) >= d.operands.size()) continue;
    const OperandSpec& op = d.operands[static_cast<size_t>(operand)];
    if (op.isNumeric || op.text.size() < 2) continue;
    if (seen.insert(op.literal).second) {
      items.push_back(
          {{"label", op.literal}, {"kind", 20}, {"detail", "literal operand of " + d.name}});
    }
  }
  for (const ModelSymbol& s : p.model.symbols) {
    if (!s.defined || !seen.insert(s.name).second) continue;
    json item = {{"label", s.name}, {"kind", s.equ ? 21 : 6}};
    if (s.known) item["detail"] = hex3(static_cast<uint32_t>(s.value));
    items.push_back(item);
  }
  return items;
}

std::string document_symbols(const Program& p, const std::string& path) {
  // Written out directly: a file of thousands of labels would otherwise make thousands of small
  // JSON objects to be written and freed again.
  std::string out = "[";
  int32_t file = file_index(p, path);
  if (file < 0 || file >= p.model.sourceFiles) return out + "]";
  auto symbol = [&out](const std::string& name, int kind, int line, int length,
                       const std::string& detail) {
    std::string r = "{\"start\":{\"line\":" + std::to_string(line) +
                    ",\"character\":0},\"end\":{\"line\":" + std::to_string(line) +
                    ",\"character\":" + std::to_string(length) + "}}";
    if (out.size() > 1) out += ',';
    out += "{\"name\":" + json(name).dump(-1, ' ', false, json::error_handler_t::replace) +
           ",\"kind\":" + std::to_string(kind);
    if (!detail.empty()) out += ",\"detail\":\"" + detail + "\"";
    out += ",\"range\":" + r + ",\"selectionRange\":" + r + "}";
  };
  for (int32_t index : p.model.statementsOf[static_cast<size_t>(file)]) {
    const ModelStatement& s = p.model.statements[static_cast<size_t>(index)];
    const ModelSymbol* label =
        s.labelSymbol >= 0 ? &p.model.symbols[static_cast<size_t>(s.labelSymbol)] : nullptr;
    int line = statement_place(p.model, s).line - 1;
    int length = label ? static_cast<int>(label->name.size()) : 0;
    if (s.kind == KIND_ORG) {
      symbol(s.addressKnown ? "org " + hex3(s.address) : "org", 3, line, length, "");
    }
    if (!label) continue;
    symbol(label->name, s.kind == KIND_EQU ? 14 : 12, line, length,
           label->known ? hex3(static_cast<uint32_t>(label->value)) : "");
  }
  return out + "]";
}
