// The instruction set, read from a definition file at start-up.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "source.h"

constexpr int kMaxInstructionBits = 12;
// inst.dat is read in line pieces of this many characters.
constexpr size_t kDefinitionPieceChars = 1023;
// Code memory is cut into pages; a goto or call reaches its own page only.
constexpr int kPageWords = 512;

struct BitSource {
  int16_t source = -1;  // -1: a constant bit; otherwise the operand that supplies the bit
  uint8_t bit = 0;      // the constant itself, or the bit number within the operand's value
};

struct OperandSpec {
  uint8_t isNumeric = 0;
  uint8_t width = 0;
  char letter = 0;      // for a numeric operand: the letter its bit tokens name it by
  std::string literal;  // for a literal operand: the text a statement must write
  std::string text;     // as the definition writes it: "k8", "\"w\""
};

// The tokens of a definition line, each with the column it starts at.
struct DefinitionToken {
  std::string text;
  int column = 0;
};

// The instructions the page rules apply to, told by name as the definitions are loaded.
enum JumpKind : uint8_t { JUMP_NONE, JUMP_GOTO, JUMP_CALL };

struct InstructionDef {
  std::string name;
  JumpKind jump = JUMP_NONE;
  int line = 0;  // where the file defines it
  int operandCount = 0;
  int bitCount = 0;
  BitSource bits[kMaxInstructionBits];
  std::vector<OperandSpec> operands;
  std::vector<DefinitionToken> tokens;  // of its line, as the loader read them
  size_t separator = 0;                 // the separator's token
  EditorPlace place;                    // its line's place in the file as an editor shows it
};

std::vector<DefinitionToken> definition_tokens(const std::string& line);
// The separator's token: the first after the name that starts with ':' (tokens.size(): none).
size_t separator_token(const std::vector<DefinitionToken>& tokens);

// 0: loaded; 1: cannot be opened, a line without a separator, more than 12 bits, or a bit
// number beyond the 32-bit range; 2: a bit token names no operand of its line. Loading
// replaces the whole table.
int load_instruction_defs(const std::string& path);

// The definitions in file order, and by folded name (each list in file order), so that a
// statement looks only at the definitions of its own mnemonic.
struct InstructionSet {
  std::vector<InstructionDef> defs;
  std::unordered_map<std::string, std::vector<int32_t>> byName;
};
const InstructionSet& instruction_set();
const std::vector<InstructionDef>& instruction_table();
// The definitions of a name (letter case ignored), in file order; empty when there are none.
std::span<const int32_t> definitions_named(const InstructionSet& set, std::string_view name);

// The match rule: the first definition, in file order, whose name, operand count and literal
// operands fit a statement. For a tool, `misses` gets why each other definition of the name was
// not chosen.
enum MatchMiss : uint8_t {
  MISS_OPERAND_COUNT,  // it takes another number of operands
  MISS_LITERAL,        // operand `operand` is not its literal
  MISS_LATER,          // an earlier definition fits first
};
struct MatchFailure {
  int32_t definition;
  MatchMiss why;
  int operand = -1;
};
// The definition's index, or -1 when none fits.
int32_t match_instruction(const InstructionSet& set, std::string_view mnemonic,
                          std::span<const std::string_view> operands,
                          std::vector<MatchFailure>* misses = nullptr);

// The bits a definition takes from an operand, as a mask, and the highest of them (-1: none).
uint32_t field_mask(const InstructionDef& def, int operand, int& top);
// Whether a value fits a field of the definition's bits without losing anything: the field
// takes every bit of it that is set, or it is negative and is the field's value sign-extended
// (the field's top bit and every bit above it set, and no bit the field leaves out below it):
// -1 and -128 fit an 8-bit field, -129 and 256 do not.
bool fits_field(int32_t value, uint32_t mask, int top);
// The word a definition gives for its operands' values (a literal position's value is 0): each
// bit token, most significant first, is a constant or a bit of an operand's value (0 for a bit
// number of 32 or more).
// The words of code memory an instruction of this definition takes: 0 for one of no bits (its
// word is stored where it stands, under the next instruction), else 1.
inline uint32_t words_taken(const InstructionDef& def) {
  return static_cast<uint32_t>((def.bitCount + kMaxInstructionBits - 1) / kMaxInstructionBits);
}
// `values` holds kMaxOperandValues entries.
constexpr int kMaxOperandValues = 16;
uint32_t encode_word(const InstructionDef& def, const int32_t* values);
// The definition's bits, most significant first, as its line writes them: "1 1 0 k7 k6 ...".
std::string bit_layout(const InstructionDef& def);

// Why the last load failed, for a tool that explains it: the line (0 for the file itself), its
// place as an editor shows it, and the reason in words.
struct LoadFailure {
  int line = 0;
  EditorPlace place;
  std::string reason;
};
const LoadFailure& last_load_failure();
