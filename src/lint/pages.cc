// The page check: the page selected before each jump, found by walking back through the
// straight-line code before it, against the page of its target.
#include "lint/pages.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <sstream>

#include "lint/reports.h"
#include "output.h"
#include "pass1.h"

namespace {

constexpr int kPageBits = std::bit_width(static_cast<unsigned>(kCodeWords / kPageWords)) - 1;

std::string statement_key(std::string_view mnemonic, std::string_view operands) {
  std::string key = fold_case(mnemonic) + " ";
  for (char c : operands) {
    if (!is_split_blank(c)) key += fold_case(c);
  }
  return key;
}

std::string statement_key(const ProgramModel& model, const ModelStatement& s) {
  StatementTexts texts = statement_texts(model, s);
  std::string operands;
  for (size_t k = 0; k < texts.operands.size(); ++k) {
    if (k > 0) operands += ',';
    operands += texts.operands[k];
  }
  return statement_key(texts.mnemonic, operands);
}

// The text between the next pair of double quotes after `at`, which moves past it.
std::string quoted(const std::string& text, size_t& at) {
  size_t open = text.find('"', at);
  size_t close = open == std::string::npos ? open : text.find('"', open + 1);
  if (close == std::string::npos) return at = text.size(), "";
  at = close + 1;
  return text.substr(open + 1, close - open - 1);
}

void read_page_declaration(const std::string& line, PageSelection& p) {
  const std::string marker = "wendrix-lint: ";
  size_t at = line.find(marker);
  if (at == std::string::npos) return;
  std::istringstream words(line.substr(at + marker.size()));
  std::string word;
  words >> word;
  if (word == "page-bit" || word == "bank-bit") {
    bool page = word == "page-bit";
    int bit = -1;
    words >> bit;
    if (bit < 0 || bit >= (page ? kPageBits : 8)) return;
    size_t from = line.find(word, at);
    for (int value : {1, 0}) {
      std::string statement = quoted(line, from);
      size_t blank = statement.find_first_of(" \t");
      std::string mnemonic = statement.substr(0, blank);
      std::string operands = blank == std::string::npos ? "" : statement.substr(blank);
      if (mnemonic.empty()) continue;
      (page ? p.setters : p.bank_setters)[statement_key(mnemonic, operands)] = {bit, value};
    }
    if (page) p.declared = true;
    if (!page) p.bank_bits = std::max(p.bank_bits, bit + 1);
  } else if (word == "registers") {
    words >> p.register_letters;
  } else if (word == "no-fall-through") {
    for (std::string name; words >> name;) p.no_fall_through.insert(fold_case(name));
  } else if (word == "pages") {
    int pages = 0;
    words >> pages;
    if (pages >= 1 && pages <= (1 << kPageBits)) p.pages = pages;
  } else if (word == "start") {
    std::string address, page;
    words >> address >> page >> p.start_page;
    p.start = static_cast<int32_t>(std::strtol(address.c_str(), nullptr, 0));
    p.start_declared = true;
  }
}

// The statements' keys, made when first asked for.
struct Keys {
  const ProgramModel& model;
  std::vector<std::string> keys;
  std::vector<bool> made;
  const std::string& of(size_t i) {
    if (!made[i]) keys[i] = statement_key(model, model.statements[i]), made[i] = true;
    return keys[i];
  }
};

// The page selected when statement `at` runs, found by walking back through the straight-line
// code before it: up to a label or a jump (code reached from elsewhere), or to the start of
// the program. -1 when some page bit is not known; `where` names the selecting lines.
// The bits the setters select when statement `at` runs: `all` the bits there are, and at the
// device's start `start_value`.
int selected_bits(const ProgramModel& model, size_t at, const PageSelection& p,
                  const std::map<std::string, std::pair<int, int>>& setters, int all,
                  int start_value, Keys& keys, std::vector<int>& where) {
  int bits = 0, known = 0;
  for (size_t i = at + 1; i-- > 0 && known != all;) {
    const ModelStatement& s = model.statements[i];
    if (s.kind == KIND_EQU) continue;
    if (s.kind < 0 && s.kind != KIND_NONE) break;  // org or ds: another block
    // A goto leaves the straight line; a call comes back with the page selected before it.
    if (i != at && s.kind >= 0 && model.isa.defs[static_cast<size_t>(s.kind)].jump == JUMP_GOTO) {
      break;
    }
    if (s.kind >= 0 && i != at && !setters.empty()) {
      auto setter = setters.find(keys.of(i));
      if (setter != setters.end() && (all >> setter->second.first & 1) &&
          !(known >> setter->second.first & 1)) {
        known |= 1 << setter->second.first;
        bits |= setter->second.second << setter->second.first;
        where.push_back(s.piece);
      }
    }
    if (s.addressKnown && s.address == p.start) {
      bits |= start_value & all & ~known;
      known = all;
      break;
    }
    if (s.labelSymbol >= 0) break;
  }
  return known == all ? bits : -1;
}

int selected_page(const ProgramModel& model, size_t at, const PageSelection& p, Keys& keys,
                  std::vector<int>& where) {
  // The page bits the device has: those that tell its pages apart.
  const int all = (1 << std::bit_width(static_cast<unsigned>(p.pages - 1))) - 1;
  return selected_bits(model, at, p, p.setters, all, p.start_page, keys, where);
}

}  // namespace

int selected_bank(const ProgramModel& model, size_t index, const PageSelection& p,
                  std::vector<int>& where) {
  if (p.bank_setters.empty()) return -1;
  Keys keys{model, std::vector<std::string>(model.statements.size()),
            std::vector<bool>(model.statements.size())};
  return selected_bits(model, index, p, p.bank_setters, (1 << p.bank_bits) - 1, 0, keys, where);
}

PageSelection page_selection(const ProgramModel& model) {
  PageSelection p;
  p.start = kCodeWords - 1;
  for (int32_t i = 0; i < model.sourceFiles; ++i) {
    const ModelFile& file = model.files[static_cast<size_t>(i)];
    for (size_t n = 1; n <= file.text.line_count(); ++n) {
      read_page_declaration(std::string(file.text.line(static_cast<int>(n))), p);
    }
  }
  return p;
}

void check_pages(const ProgramModel& model, const PageSelection& p, Findings& findings) {
  Keys keys{model, std::vector<std::string>(model.statements.size()),
            std::vector<bool>(model.statements.size())};
  for (size_t i = 0; i < model.statements.size(); ++i) {
    const ModelStatement& s = model.statements[i];
    if (s.kind < 0 || !s.addressKnown || s.address < 0 || s.address >= kCodeWords) continue;
    const InstructionDef& def = model.isa.defs[static_cast<size_t>(s.kind)];
    const ModelOperand* operand = statement_operand(model, s, 0);
    if (!def.jump || !operand || !operand->expression || !operand->known) continue;
    int32_t target = operand->value;
    if (target < 0 || target >= kCodeWords) continue;  // operand-range says so
    int page = target / kPageWords;
    std::vector<int> where;
    int selected = selected_page(model, i, p, keys, where);
    std::sort(where.begin(), where.end());
    std::string lines;
    for (int line : where) lines += (lines.empty() ? "" : ", ") + std::to_string(line);
    std::string name = in_quotes(fold_case(def.name));
    // Which page bits to set and clear, from the highest the device has.
    std::string bits;
    for (int b = std::bit_width(static_cast<unsigned>(p.pages - 1)); b-- > 0;) {
      bits += std::string(bits.empty() ? ", with page bit " : " and page bit ") +
              std::to_string(b) + ((page >> b & 1) ? " set" : " clear");
    }
    std::string message;
    if (selected >= 0 && selected != page) {
      message = "the page selected before this " + name + " is page " + std::to_string(selected) +
                (where.empty() ? " (at the start of the program)"
                               : (where.size() == 1 ? " (line " : " (lines ") + lines + ")") +
                ", but its target " + hex(target) + " is on page " + std::to_string(page) +
                ": select page " + std::to_string(page) + " before it" + bits;
    } else if (selected < 0 && page != s.address / kPageWords) {
      message = "target code page not same as source code page: the " + name + " at " +
                page_text(s.address) + " jumps to " + page_text(target) +
                ", and no page selection precedes it: select page " + std::to_string(page) +
                " before it" + bits;
      if (!p.declared) {
        message +=
            " (declare the statements that select a page with '; wendrix-lint: page-bit "
            "N set \"...\" clear \"...\"' and lint follows them)";
      }
    } else {
      continue;
    }
    StatementTexts texts = statement_texts(model, s);
    add_at_piece(findings, s.file, s.piece,
                 texts.operandColumns.empty() ? -1 : texts.operandColumns[0], LINT_WARNING, message,
                 "page");
  }
}
