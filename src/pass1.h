// Pass 1: reads every statement, classifies it, parses its operands and keeps it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
// Pass 1 writes each record whole when it makes it, so a block of records is not written before.
struct StatementRecord {
  int32_t address;
  int32_t lineNumber;
  int32_t labelSymbol;  // -1: none
  int32_t kind;
  int32_t file;      // its file's entry in the file-name table (statement_file)
  int32_t operands;  // where its operands are (statement_operands)
  int32_t texts;     // where its texts are (statement_texts); -1: it keeps none
  uint8_t operandCount;
  uint8_t addressKnown;
};
static_assert(sizeof(StatementRecord) == 32, "a record per statement: keep it small");

using StatementList = BlockList<StatementRecord>;

StatementList& statement_list();
// The indices of the org statements, in order.
const std::vector<int32_t>& org_statements();
std::span<StatementOperand> statement_operands(const StatementRecord& s);
const std::string* statement_file(const StatementRecord& s);
// The texts the listing shows, each ended by a NUL: the label, then the mnemonic (next_text),
// then each operand; all empty when the statement keeps none.
std::string_view statement_texts(const StatementRecord& s);
std::string_view next_text(std::string_view text);
void statements_reset();

// Reads the open source to its end. A source-reader error stops the run at once.
void run_pass1();
