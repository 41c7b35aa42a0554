// The program model: what the assembler's passes learnt about a program, kept whole for the
// tools (the checker, the language server, the disassembler), which ask it instead of working
// any of it out again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "diag.h"
#include "isa.h"
#include "source.h"

// A file of the program (a source, an include file, the instruction set) as the editor shows it,
// and where the pieces the assembler read lie in its lines.
struct ModelFile {
  std::string name;  // as the reader opened it: relative to the program's directory, or absolute
  EditorText text;
  SourceMap map;
  bool readable = false;
};

struct ModelStatement {
  int32_t file;   // in ProgramModel::files
  int32_t piece;  // the assembler's line number: the piece of its file
  int32_t kind;   // a definition's index, or a StatementKind
  int32_t address;
  int32_t labelSymbol;   // -1: none
  int32_t firstOperand;  // in ProgramModel::operands
  int32_t word;          // the word it stored in code memory, or -1
  uint8_t operandCount;
  uint8_t addressKnown;
};

struct ModelOperand {
  int32_t value = 0;
  uint8_t known = 0;       // the value is known
  uint8_t expression = 0;  // it has an expression (0: a literal it matched, or none parsed)
};

struct ModelSymbol {
  std::string name;
  int32_t value = 0;
  bool known = false;
  bool defined = false;        // by a label (else only used)
  bool equ = false;            // that label's statement is an equ
  bool hasExpression = false;  // an equ with an expression
  int32_t statement = -1;
  int32_t waitsOn = -1;       // an equ without a value: the symbol its expression stopped at
  std::vector<int32_t> uses;  // statements whose operands name it, in order (once per name)
};

// A report of the passes, placed in its file as an editor shows it.
struct ModelReport {
  int32_t file = -1;  // in ProgramModel::files; -1: none
  int32_t piece = 0;
  int32_t statement = -1;  // the statement it is about, when it is about one
  int column;              // of the caret in the piece, or -1
  bool warning;
  int code;
  int symbol;
};

struct ProgramModel {
  std::string directory;       // the names are relative to it ("": the working directory)
  std::string instructionSet;  // the path that loaded, "" for none
  std::optional<LoadFailure> localFailure;  // a local inst.dat that is there but failed
  std::optional<LoadFailure> namedFailure;  // why the instruction set a tool named failed
  InstructionSet isa;
  std::vector<ModelFile> files;  // the main source first, each file once
  int32_t sourceFiles = 0;       // the first ones: those the reader read (the others: the
                                 // instruction set, a file a stop names)
  std::vector<ModelStatement> statements;
  std::vector<ModelOperand> operands;
  std::vector<std::vector<int32_t>> statementsOf;  // by file: its statements, by piece
  std::vector<ModelSymbol> symbols;
  std::unordered_map<std::string_view, int32_t> symbolIndex;  // by name, letter case counting
  std::vector<uint16_t> code;  // kCodeWords words, kEmptyWord where nothing is stored
  std::vector<ModelReport> reports;
  std::string stop;       // what a stop printed ("error reading [x]"), "" when none
  int32_t stopFile = -1;  // the file it is about
  int32_t stopPiece = 0;
  bool opened = false;    // the source opened
  bool resolved = false;  // pass 2 resolved every symbol, address and operand
  // When pass 1 reported errors (where wendrix stops), pass 2 still runs over the statements
  // that parsed: the reports before this index are pass 1's. -1: pass 1 reported none.
  int32_t pass1Reports = -1;
};

// What to build a model of: the arguments as wendrix takes them, or a file read as written.
struct ModelRequest {
  std::string directory;   // where the program is; "" for the working directory
  std::string invocation;  // the program's path, for the second place of inst.dat
  std::string inst;        // an instruction set to use instead of the one wendrix finds
  std::string source;      // the argument naming the source
  bool asWritten = false;  // open `source` as named (an include file checked alone)
};

// Runs the assembler's passes as wendrix does, without writing a file, and keeps what they
// learnt. Never throws for anything a program or a file can hold.
void build_program_model(const ModelRequest& request, ProgramModel& model);

// Queries.
int32_t model_file(const ProgramModel& model, std::string_view name);
int32_t model_symbol(const ProgramModel& model, std::string_view name);
// A statement's place: its file's line and the column where its piece starts.
EditorPlace statement_place(const ProgramModel& model, const ModelStatement& s, int column = 0);
EditorPlace piece_place(const ProgramModel& model, int32_t file, int piece, int column = 0);
// The text of a piece as the assembler read it ("" when the file cannot be shown).
std::string_view piece_text(const ProgramModel& model, int32_t file, int piece);
// A piece split as the assembler splits it (valid until the next split).
const SplitLine& split_piece(const ProgramModel& model, int32_t file, int piece);
// The texts of a statement's mnemonic and operands, as its piece writes them.
struct StatementTexts {
  std::string mnemonic;
  std::vector<std::string> operands;
  int mnemonicColumn = -1;  // in the piece
  std::vector<int> operandColumns;
};
StatementTexts statement_texts(const ProgramModel& model, const ModelStatement& s);
const ModelOperand* statement_operand(const ProgramModel& model, const ModelStatement& s, int k);
// The statement of a file's piece, or nullptr.
const ModelStatement* statement_at(const ProgramModel& model, int32_t file, int piece);
