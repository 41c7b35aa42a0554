// Pass 1: reads every statement, classifies it, parses its operands and keeps it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "blocks.h"

enum StatementKind : int32_t {
  KIND_ORG = -1,
  KIND_EQU = -2,
  KIND_DS = -3,
  KIND_NONE = -50,
  KIND_UNMATCHED = -999,
};

struct StatementOperand {
  int32_t isExpression = 0;
  int32_t tree = -1;  // its expression tree, if it has one
};

// A statement as pass 1 keeps it: a small record of numbers, since a large program is mostly
// statements. Its file, operands and texts are indices into storage of the statement list that
// never moves them, so a record makes no allocation of its own. Only the statements the listing
// shows (instructions and bare labels) keep their texts.
struct StatementRecord {
  int32_t address = 0;
  int32_t lineNumber = 0;
  int32_t labelSymbol = -1;
  int32_t kind = KIND_NONE;
  int32_t file = 0;      // its file's entry in the file-name table (statement_file)
  int32_t operands = 0;  // where its operands are (statement_operands)
  int32_t texts = -1;    // where its texts are (statement_texts); -1: it keeps none
  uint8_t operandCount = 0;
  uint8_t addressKnown = 0;
};
static_assert(sizeof(StatementRecord) == 32, "a record per statement: keep it small");

using StatementList = BlockList<StatementRecord>;

StatementList& statement_list();
std::span<StatementOperand> statement_operands(const StatementRecord& s);
const std::string* statement_file(const StatementRecord& s);
// The texts the listing shows, each ended by a NUL: the label, then the mnemonic (next_text),
// then each operand; all empty when the statement keeps none.
const char* statement_texts(const StatementRecord& s);
const char* next_text(const char* text);
void statements_reset();

// Reads the open source to its end. A source-reader error stops the run at once.
void run_pass1();
