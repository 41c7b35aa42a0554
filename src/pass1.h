// Pass 1: reads every statement, classifies it, parses its operands and keeps it.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>

struct ExprNode;

enum StatementKind : int32_t {
  KIND_ORG = -1,
  KIND_EQU = -2,
  KIND_DS = -3,
  KIND_NONE = -50,
  KIND_UNMATCHED = -999,
};

struct StatementOperand {
  int32_t isExpression = 0;
  ExprNode* tree = nullptr;
};

// A statement as pass 1 keeps it. Its texts and operands live in storage of the statement list
// that never moves them, so a record makes no allocation of its own.
struct StatementRecord {
  int32_t address = 0;
  uint8_t addressKnown = 0;
  std::string_view labelText;
  std::string_view mnemonicText;
  std::span<const std::string_view> operandTexts;
  const std::string* fileName = nullptr;
  int32_t lineNumber = 0;
  int32_t labelSymbol = -1;
  int32_t kind = KIND_NONE;
  int32_t operandCount = 0;
  std::span<StatementOperand> operands;
};

// A deque keeps records where they are while the list grows: symbols point at them.
using StatementList = std::deque<StatementRecord>;

StatementList& statement_list();
void statements_reset();

// Reads the open source to its end. A source-reader error stops the run at once.
void run_pass1();
