// Code generation and output: the code memory, the encoder, the listing and the hex file.
#pragma once

#include <cstdint>
#include <string>

struct StatementRecord;

constexpr int kCodeWords = 2048;
constexpr uint16_t kEmptyWord = 0xFFFF;

void clear_code_memory();
// The word at an address of the code memory (kEmptyWord when nothing is stored there).
uint16_t code_word(int address);
// Encodes every instruction statement into a cleared code memory as the listing does, without
// writing a file; the encoder's warnings are reported as they arise.
void encode_program();

// Builds, lists, checks and stores one instruction statement. 0: processed (stored or not);
// 1: an operand could not supply a value (nothing listed or stored).
int encode_statement(const StatementRecord& s);
// Appends the statement's line to the Code section of the listing being written.
void write_code_line(const StatementRecord& s, uint32_t word);

// Each writes its whole file, or stops the run with status 1 when it cannot.
void write_listing(const std::string& base_name, int32_t fuse, int32_t fusex);
void write_hex_file(const std::string& base_name, int32_t fuse, int32_t fusex);
