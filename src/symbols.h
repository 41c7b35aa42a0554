// The symbol table: every name a program defines or uses, addressed by a stable index.
#pragma once

#include <cstdint>
#include <string_view>

struct SymbolEntry {
  int32_t value = 0;
  uint8_t valueKnown = 0;
  uint8_t definedByLabel = 0;
  int32_t statement = -1;  // the statement whose label defined it
  int32_t equTree = -1;    // its expression when that statement is an equ
};

void symbols_reset();
// Index of the entry with exactly this name (letter case counts), or -1.
int symbol_find(std::string_view name);
int symbol_find_or_add(std::string_view name);
// The hash a name is filed under; names with the same hash are told apart by their bytes.
uint32_t symbol_hash(std::string_view name);

int symbol_count();
SymbolEntry& symbol_at(int index);
// The name at an index, or "" for an index that names no entry; valid until a name is added.
std::string_view symbol_name(int index);
