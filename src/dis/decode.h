// Decoding: the instruction set's encoding read backwards, one word at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "isa.h"

// A word read as a statement: the definition chosen and its operands' values.
struct DecodedWord {
  int32_t definition = -1;
  int32_t values[kMaxOperandValues] = {};
};

// The first definition, in the instruction set's order, that encodes exactly `word` with some
// values of its operands (bits no token takes are 0) and that wendrix would choose for the
// statement written with them (no earlier form of the name fits its text). False when none does.
bool decode_word(const InstructionSet& set, uint32_t word, DecodedWord& out);

// The statement's operand texts: numbers as $hex, literals as the definition writes them;
// `jump_label`, when given, stands for operand 0.
std::vector<std::string> operand_texts(const InstructionDef& def, const DecodedWord& decoded,
                                       const std::string& jump_label = "");
// Whether a statement written as `mnemonic` and `operands` reads back, through the splitter and
// the match rule, as `definition` with those very texts.
bool reads_back(const InstructionSet& set, int32_t definition,
                const std::vector<std::string>& operands);
