#include "symbols.h"

#include <deque>
#include <unordered_map>

namespace {

// A deque keeps entries where they are as the table grows; the hash index beside it makes a
// look-up cost the same for the 10th symbol and the 10,000th, without changing the order in
// which entries are numbered and listed.
std::deque<SymbolEntry> g_table;
std::unordered_map<std::string_view, int> g_index;

}  // namespace

void symbols_reset() {
  g_index.clear();
  g_table.clear();
}

int symbol_find(std::string_view name) {
  auto it = g_index.find(name);
  return it == g_index.end() ? -1 : it->second;
}

int symbol_add(std::string_view name) {
  g_table.emplace_back();
  g_table.back().name.assign(name);
  int index = static_cast<int>(g_table.size()) - 1;
  // The first entry of a name keeps the index: symbol_find returns the lowest match.
  g_index.emplace(g_table.back().name, index);
  return index;
}

int symbol_find_or_add(std::string_view name) {
  int index = symbol_find(name);
  return index >= 0 ? index : symbol_add(name);
}

int symbol_count() {
  return static_cast<int>(g_table.size());
}

SymbolEntry& symbol_at(int index) {
  return g_table[static_cast<size_t>(index)];
}

const std::string& symbol_name(int index) {
  static const std::string kEmpty;
  if (index < 0 || index >= symbol_count()) return kEmpty;
  return g_table[static_cast<size_t>(index)].name;
}
