// The checker's checks on the instruction set, over the definitions as the loader read them.
#include "lint/isa_checks.h"

#include <bit>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

namespace {

// Whether `later` can never be chosen because `earlier` fits every statement it fits.
bool shadows(const InstructionDef& earlier, const InstructionDef& later) {
  if (!same_ignoring_case(earlier.name, later.name)) return false;
  if (earlier.operandCount != later.operandCount) return false;
  for (int k = 0; k < earlier.operandCount; ++k) {
    const OperandSpec& a = earlier.operands[static_cast<size_t>(k)];
    const OperandSpec& b = later.operands[static_cast<size_t>(k)];
    if (!a.isNumeric && (b.isNumeric || !same_ignoring_case(a.literal, b.literal))) return false;
  }
  return true;
}

// Checks a program turns off for one definition, by a comment line of any of its files:
//   ; wendrix-lint: ignore isa-same-word tris
using Waivers = std::set<std::pair<std::string, std::string>>;  // (check, folded name)

Waivers waivers_of(const ProgramModel& model) {
  Waivers waivers;
  const std::string marker = "wendrix-lint: ignore ";
  for (int32_t i = 0; i < model.sourceFiles; ++i) {
    const EditorText& text = model.files[static_cast<size_t>(i)].text;
    for (size_t n = 1; n <= text.line_count(); ++n) {
      std::string_view line = text.line(static_cast<int>(n));
      size_t at = line.find(marker);
      if (at == std::string_view::npos) continue;
      std::istringstream words{std::string(line.substr(at + marker.size()))};
      std::string check, name;
      if (!(words >> check) || !check.starts_with("isa-")) continue;
      while (words >> name) waivers.insert({check, fold_case(name)});
    }
  }
  return waivers;
}

struct IsaCheck {
  const ProgramModel& model;
  Findings& findings;
  const InstructionDef& def;
  const Waivers& waivers;
  void warn(int column, const std::string& message, const char* check) const {
    if (waivers.count({check, fold_case(def.name)})) return;
    EditorPlace place = def.place;
    place.column += column;
    add_finding(findings, model.instructionSet, place, LINT_WARNING, message, check);
  }
};

void check_glued_separator(const IsaCheck& d) {
  const std::vector<DefinitionToken>& tokens = d.def.tokens;
  size_t sep = d.def.separator;
  if (sep == tokens.size() || tokens[sep].text.size() == 1) return;
  d.warn(tokens[sep].column,
         "the separator is glued to " + in_quotes(tokens[sep].text.substr(1)) +
             ", which is read as part of it, not as bits",
         "isa-glued");
}

void check_no_bits(const IsaCheck& d) {
  if (d.def.bitCount != 0) return;
  d.warn(0,
         in_quotes(d.def.name) +
             " has no bits: it takes no word, yet its word 000 is stored where it stands, "
             "under the next instruction",
         "isa-no-bits");
}

void check_bit_tokens(const IsaCheck& d) {
  const std::vector<DefinitionToken>& tokens = d.def.tokens;
  for (size_t t = d.def.separator + 1; t < tokens.size(); ++t) {
    const std::string& text = tokens[t].text;
    if (text[0] == '0' || text[0] == '1') {
      if (text.find_first_not_of("01") == std::string::npos) continue;
      d.warn(tokens[t].column,
             "constant bits " + in_quotes(text) +
                 " hold characters other than 0 and 1 (each reads as 0)",
             "isa-bad-constant");
      continue;
    }
    size_t dash = text.find('-', 1);
    if (dash != std::string::npos && dash > 1 && is_digit(text[dash - 1]) &&
        dash + 1 < text.size() && is_digit(text[dash + 1]) &&
        std::atoll(text.c_str() + 1) < std::atoll(text.c_str() + dash + 1)) {
      d.warn(tokens[t].column,
             "bit range " + in_quotes(text) +
                 " is written low-high and gives no bits; write it "
                 "high-low",
             "isa-reversed-range");
    }
  }
}

void check_shadowed(const IsaCheck& d, size_t index) {
  const std::vector<InstructionDef>& table = d.model.isa.defs;
  for (int32_t e : definitions_named(d.model.isa, d.def.name)) {
    if (static_cast<size_t>(e) >= index) return;
    if (!shadows(table[static_cast<size_t>(e)], d.def)) continue;
    d.warn(0,
           "this form of " + in_quotes(d.def.name) + " is never chosen: the one on line " +
               std::to_string(table[static_cast<size_t>(e)].line) + " fits every statement it fits",
           "isa-shadowed");
    return;
  }
}

void check_short(const IsaCheck& d) {
  if (d.def.bitCount == 0 || d.def.bitCount >= kMaxInstructionBits) return;
  d.warn(0,
         in_quotes(d.def.name) + " gives " + std::to_string(d.def.bitCount) +
             " bits, not 12: the word's top bits are 0; write all 12",
         "isa-short");
}

void check_operand_widths(const IsaCheck& d) {
  for (int k = 0; k < d.def.operandCount; ++k) {
    const OperandSpec& op = d.def.operands[static_cast<size_t>(k)];
    if (!op.isNumeric) continue;
    int top;
    uint32_t mask = field_mask(d.def, k, top);
    int taken = std::popcount(mask);
    if (taken == 0 || taken >= op.width) continue;
    d.warn(0,
           "operand " + std::to_string(k + 1) + " of " + in_quotes(d.def.name) + " is " +
               std::to_string(op.width) + " bits wide, but the definition takes only " +
               std::to_string(taken) + " of them: the rest of a value is cut without a word",
           "isa-operand-width");
  }
}

// The constant bits of a definition's word, as a mask and their values (operand bits are free).
std::pair<uint32_t, uint32_t> constant_bits(const InstructionDef& def) {
  uint32_t mask = 0, value = 0;
  for (int b = 0; b < def.bitCount; ++b) {
    uint32_t at = 1u << (def.bitCount - 1 - b);
    if (def.bits[b].source >= 0) continue;
    mask |= at;
    if (def.bits[b].bit) value |= at;
  }
  // The bits above a short definition are 0.
  uint32_t above = ((1u << kMaxInstructionBits) - 1) & ~((1u << def.bitCount) - 1);
  return {mask | above, value};
}

// A definition every word of which an earlier one of another name gives too: read back from a
// hex file, its words are always the earlier one's. (One that shares only some words, as tris 0
// shares nop's, is how real instruction sets are.) Definitions of one name may share words on
// purpose (a literal form beside the general one).
void check_same_words(const ProgramModel& model, Findings& findings, const Waivers& waivers) {
  const std::vector<InstructionDef>& table = model.isa.defs;
  std::vector<std::pair<uint32_t, uint32_t>> bits;
  for (const InstructionDef& def : table) bits.push_back(constant_bits(def));
  // Definitions are grouped by their constant top bits, so that a large set costs little.
  const int kTop = 4;
  std::map<uint32_t, std::vector<size_t>> by_top;
  std::vector<size_t> open;  // definitions with a free top bit: compared with all
  for (size_t i = 0; i < table.size(); ++i) {
    uint32_t top_mask = ((1u << kTop) - 1) << (kMaxInstructionBits - kTop);
    if ((bits[i].first & top_mask) == top_mask) {
      by_top[bits[i].second & top_mask].push_back(i);
    } else {
      open.push_back(i);
    }
  }
  std::set<size_t> reported;
  auto compare = [&](size_t a, size_t b) {
    if (a == b || same_ignoring_case(table[a].name, table[b].name)) return;
    size_t later = std::max(a, b), earlier = std::min(a, b);
    if (reported.count(later)) return;
    // Every word of `later` is one of `earlier`'s: the earlier's constant bits are constant in
    // the later one too, with the same values.
    uint32_t fixed = bits[earlier].first;
    if ((bits[later].first & fixed) != fixed) return;
    if (((bits[a].second ^ bits[b].second) & fixed) != 0) return;
    reported.insert(later);
    IsaCheck{model, findings, table[later], waivers}.warn(
        0,
        in_quotes(table[later].name) + " can encode the same word as " +
            in_quotes(table[earlier].name) + " on line " + std::to_string(table[earlier].line) +
            ": a device reads only one of them from it",
        "isa-same-word");
  };
  // Definitions of one pattern are found in one pass; pairs are compared within groups of a
  // size that keeps the whole check near linear.
  std::map<std::pair<uint32_t, uint32_t>, size_t> first_of;
  for (size_t i = 0; i < table.size(); ++i) {
    auto [it, fresh] = first_of.try_emplace(bits[i], i);
    if (!fresh) compare(it->second, i);
  }
  for (const auto& [top, group] : by_top) {
    for (size_t x = 0; x < group.size() && group.size() <= 4096; ++x) {
      for (size_t y = x + 1; y < group.size(); ++y) compare(group[x], group[y]);
    }
  }
  for (size_t a : open) {
    for (size_t b = 0; b < table.size() && open.size() * table.size() <= 50'000'000; ++b) {
      compare(a, b);
    }
  }
}

}  // namespace

void check_instruction_set(const ProgramModel& model, Findings& findings) {
  if (model.localFailure) {
    // wendrix passes over a local file that fails, without a word: say why, and what it uses.
    const LoadFailure& failure = *model.localFailure;
    add_finding(findings, "inst.dat", failure.place, LINT_WARNING,
                "inst.dat fails to load: " + failure.reason +
                    "; wendrix skips it without a message and " +
                    (model.instructionSet.empty() ? "finds no other"
                                                  : "uses " + model.instructionSet + " instead"),
                "isa-load");
  }
  const std::vector<InstructionDef>& table = model.isa.defs;
  Waivers waivers = waivers_of(model);
  for (size_t i = 0; i < table.size(); ++i) {
    IsaCheck d{model, findings, table[i], waivers};
    check_glued_separator(d);
    check_no_bits(d);
    check_short(d);
    check_bit_tokens(d);
    check_operand_widths(d);
    check_shadowed(d, i);
  }
  check_same_words(model, findings, waivers);
}
