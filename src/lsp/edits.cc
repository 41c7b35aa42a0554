// Rename and code actions: edits worked out from the model and the lines they change.
#include "lsp/edits.h"

#include <stdexcept>

#include "expr.h"
#include "lint/pages.h"

namespace {

json text_edit(int line, int from, int to, const std::string& text) {
  return {{"range",
           {{"start", {{"line", line}, {"character", from}}},
            {"end", {{"line", line}, {"character", to}}}}},
          {"newText", text}};
}

// The name under a place and where it starts, when the place is in a label or an operand.
bool symbol_under(const Program& p, const Place& at, std::string& name, int& start) {
  std::string code = at.text;
  split_line(code);
  const SplitLine& s = split_result();
  size_t c = static_cast<size_t>(at.character);
  if (c > code.size()) return false;
  size_t from = c, to = c;
  while (from > 0 && is_name_char(code[from - 1])) --from;
  while (to < code.size() && is_name_char(code[to])) ++to;
  if (from == to || is_digit(code[from])) return false;
  name = code.substr(from, to - from);
  start = static_cast<int>(from);
  bool in_label = !s.label.empty() && from < s.label.size();
  bool in_operand = s.operandCount > 0 && from >= static_cast<size_t>(s.operandColumns[0]);
  if (!in_label && !in_operand) return false;  // the mnemonic
  if (in_operand) {
    // A literal operand of one of the mnemonic's forms is no symbol.
    for (int32_t index : definitions_named(p.model.isa, s.mnemonic)) {
      for (const OperandSpec& op : p.model.isa.defs[static_cast<size_t>(index)].operands) {
        if (!op.isNumeric && same_ignoring_case(op.literal, name)) return false;
      }
    }
  }
  return reserved_word(name) < 0 && model_symbol(p.model, name) >= 0;
}

// The lines of every file of the program where the name stands, outside comments.
template <typename Visit>
void each_occurrence(const Program& p, const std::string& name, Visit visit) {
  for (int32_t file = 0; file < p.model.sourceFiles; ++file) {
    const EditorText& text = p.model.files[static_cast<size_t>(file)].text;
    for (size_t n = 1; n <= text.line_count(); ++n) {
      std::string code(text.line(static_cast<int>(n)));
      split_line(code);
      for (size_t i = find_name(code, name); i != std::string::npos;
           i = find_name(code, name, i + 1)) {
        visit(p.paths[static_cast<size_t>(file)], static_cast<int>(n) - 1, static_cast<int>(i));
      }
    }
  }
}

// The first operand field of `line` at or after `column`: its start and end (blanks at its end
// left out).
std::pair<int, int> operand_bounds(const std::string& line, int column) {
  std::string code = line;
  split_line(code);
  const SplitLine& s = split_result();
  for (int k = 0; k < s.operandCount; ++k) {
    int start = s.operandColumns[k];
    if (start >= column) return {start, start + static_cast<int>(s.operands[k].size())};
  }
  return {column, column};
}

json quick_fix(const std::string& title, const json& diagnostic, const std::string& uri,
               const json& edits) {
  return {{"title", title},
          {"kind", "quickfix"},
          {"diagnostics", json::array({diagnostic})},
          {"edit", {{"changes", {{uri, edits}}}}}};
}

std::string hex_mask(uint32_t mask) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string out;
  do out.insert(out.begin(), kDigits[mask & 15]), mask >>= 4;
  while (mask);
  return "$" + out;
}

}  // namespace

json prepare_rename(const Program& p, const Place& at) {
  std::string name;
  int start;
  if (!symbol_under(p, at, name, start)) return nullptr;
  return {{"range", range(at.line, start, static_cast<int>(name.size()))}, {"placeholder", name}};
}

json rename_symbol(const Program& p, const Place& at, const std::string& new_name) {
  std::string name;
  int start;
  if (!symbol_under(p, at, name, start)) throw std::invalid_argument("no symbol to rename here");
  bool usable = !new_name.empty() && is_name_start(new_name[0]) &&
                std::all_of(new_name.begin(), new_name.end(), is_name_char) &&
                !starts_with_reserved_word(new_name);
  if (!usable) throw std::invalid_argument("'" + new_name + "' is no name an expression can use");
  if (model_symbol(p.model, new_name) >= 0) {
    throw std::invalid_argument("the program already has a symbol '" + new_name + "'");
  }
  json changes = json::object();
  each_occurrence(p, name, [&](const std::string& file, int line, int column) {
    changes[uri_of(file)].push_back(
        text_edit(line, column, column + static_cast<int>(name.size()), new_name));
  });
  return {{"changes", changes}};
}

json code_actions(const Server& server, const Program& p, const std::string& path,
                  const json& diagnostics) {
  json actions = json::array();
  if (!diagnostics.is_array()) return actions;
  EditorText text = text_of(server, path);
  std::string uri = uri_of(path);
  for (const json& d : diagnostics) {
    if (!d.is_object() || !d.contains("range") || !d["code"].is_string()) continue;
    std::string code = d["code"];
    int line = d["range"]["start"].value("line", -1);
    int column = d["range"]["start"].value("character", -1);
    if (line < 0 || column < 0 || static_cast<size_t>(line) >= text.line_count()) continue;
    std::string source(text.line(line + 1));
    if (code == "label-colon" && static_cast<size_t>(column) < source.size() &&
        source[static_cast<size_t>(column)] == ':') {
      actions.push_back(quick_fix("Drop the label's colon", d, uri,
                                  json::array({text_edit(line, column, column + 1, "")})));
    } else if (code == "literal-blank") {
      auto [from, to] = operand_bounds(source, column);
      int first = from;
      while (first < to && is_split_blank(source[static_cast<size_t>(first)])) ++first;
      if (first > from) {
        actions.push_back(quick_fix("Remove the blank before the literal", d, uri,
                                    json::array({text_edit(line, from, first, "")})));
      }
    } else if (code == "operand-range") {
      // The statement's definition says which bits the operand keeps.
      Place at{path, line, column, source};
      int32_t file = file_index(p, path);
      if (file < 0) continue;
      int piece_column;
      int piece =
          piece_of(p.model.files[static_cast<size_t>(file)].map, {line + 1, column}, piece_column);
      const ModelStatement* s = statement_at(p.model, file, piece);
      if (!s || s->kind < 0) continue;
      const InstructionDef& def = p.model.isa.defs[static_cast<size_t>(s->kind)];
      StatementTexts texts = statement_texts(p.model, *s);
      for (size_t k = 0; k < texts.operandColumns.size(); ++k) {
        if (texts.operandColumns[k] != piece_column || def.jump) continue;
        int top;
        uint32_t mask = field_mask(def, static_cast<int>(k), top);
        int to = column + static_cast<int>(texts.operands[k].size());
        actions.push_back(quick_fix(
            "Mask the operand to its field (& " + hex_mask(mask) + ")", d, uri,
            json::array(
                {text_edit(line, column, to, "(" + texts.operands[k] + ") & " + hex_mask(mask))})));
      }
    } else if (code == "page") {
      // The declared statements that select the target's page, before the jump.
      PageSelection declared = page_selection(p.model);
      std::string message = d.value("message", "");
      size_t at = message.find("select page ");
      // Offered where the jump's line has no label of its own, which would then skip them.
      if (declared.setters.empty() || at == std::string::npos ||
          (!source.empty() && !is_split_blank(source[0]))) {
        continue;
      }
      int page = std::atoi(message.c_str() + at + 12);
      std::string lines;
      for (int bit = 0; bit < 2; ++bit) {
        for (const auto& [key, setter] : declared.setters) {
          if (setter.first != bit || setter.second != ((page >> bit) & 1)) continue;
          size_t blank = key.find(' ');
          lines += "\t" + key.substr(0, blank) + "\t" + key.substr(blank + 1) + "\n";
          break;
        }
      }
      if (!lines.empty()) {
        actions.push_back(quick_fix("Select page " + std::to_string(page) + " before the jump", d,
                                    uri, json::array({text_edit(line, 0, 0, lines)})));
      }
    }
  }
  return actions;
}
