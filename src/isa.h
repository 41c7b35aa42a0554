// The instruction set, read from a definition file at start-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
  std::string literal;  // for a literal operand: the text a statement must write
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
};

// The tokens of a definition line, each with the column it starts at.
struct DefinitionToken {
  std::string text;
  int column = 0;
};
std::vector<DefinitionToken> definition_tokens(const std::string& line);
// The separator's token: the first after the name that starts with ':' (tokens.size(): none).
size_t separator_token(const std::vector<DefinitionToken>& tokens);

// 0: loaded; 1: cannot be opened, a line without a separator, more than 12 bits, or a bit
// number beyond the 32-bit range; 2: a bit token names no operand of its line. Loading
// replaces the whole table.
int load_instruction_defs(const std::string& path);
const std::vector<InstructionDef>& instruction_table();

// Why the last load failed, for a tool that explains it: the line (0 for the file itself) and
// the reason in words.
struct LoadFailure {
  int line = 0;
  std::string reason;
};
const LoadFailure& last_load_failure();
