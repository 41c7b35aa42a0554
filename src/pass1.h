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

// A statement as pass 1 keeps it. Its texts and operands live in storage of the statement list
// that never moves them, so a record makes no allocation of its own. Only the statements the
// listing shows (instructions and bare labels) keep their texts.
struct StatementRecord {
  int32_t address = 0;
  int32_t lineNumber = 0;
  int32_t labelSymbol = -1;
  int32_t kind = KIND_NONE;
  int32_t operandCount = 0;
  uint8_t addressKnown = 0;
  const std::string* fileName = nullptr;
  const char* labelText = "";
  const char* mnemonicText = "";
  std::span<const std::string_view> operandTexts;
  std::span<StatementOperand> operands;
};

using StatementList = BlockList<StatementRecord>;

StatementList& statement_list();
void statements_reset();

// Reads the open source to its end. A source-reader error stops the run at once.
void run_pass1();
