// The symbol table: names to stable indices, with a hash index for look-ups.
#include "symbols.h"

#include <cstring>
#include <string>
#include <vector>

#include "blocks.h"

namespace {

// Names are read eight bytes at a time, or four for a short one, the last word overlapping the
// one before it: for the hash and for the comparison alike.
uint64_t load64(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
uint32_t load32(const char* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

bool same_name(std::string_view a, std::string_view b) {
  size_t n = a.size();
  if (n != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8) {
      if (load64(p + i) != load64(q + i)) return false;
    }
    return load64(p + n - 8) == load64(q + n - 8);
  }
  if (n >= 4) return load32(p) == load32(q) && load32(p + n - 4) == load32(q + n - 4);
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != q[i]) return false;
  }
  return true;
}

// A name of a few bytes costs a handful of instructions, not a multiplication per byte.
inline uint32_t hash_of(std::string_view name) {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  const char* p = name.data();
  size_t n = name.size();
  uint64_t h = n * kMultiplier;
  auto mix = [&h](uint64_t word) {
    h = (h ^ word) * kMultiplier;
    h ^= h >> 32;
  };
  if (n >= 8) {
    for (; n > 8; p += 8, n -= 8) mix(load64(p));
    mix(load64(p + n - 8));
  } else if (n >= 4) {
    mix(load32(p) | static_cast<uint64_t>(load32(p + n - 4)) << 32);
  } else if (n > 0) {
    mix(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[n / 2]) << 8 |
        static_cast<unsigned char>(p[n - 1]) << 16);
  }
  // Multiplying carries a difference only upwards: one more multiplication, and the high half,
  // let every byte reach the low bits the index uses.
  h *= kMultiplier;
  return static_cast<uint32_t>(h >> 32);
}

struct Slot {
  uint32_t hash = 0;
  int32_t index = -1;  // -1: empty
};

// Every name, stored once: side by side in one text, with where each starts. A look-up hashes
// the name, probes an open-addressing index of (hash, symbol) slots, and compares names here, a
// few bytes a symbol, never touching the entries, which a large table spreads beyond the
// processor's caches. A look-up costs the same for the 10th symbol and the 10,000th.
struct NameIndex {
  std::string text;
  std::vector<uint32_t> start = {0};  // where name i starts, and one more at the end
  std::vector<Slot> slots;            // a power of two in size, at most three quarters full
};
NameIndex g_names;

std::string_view name_at(int32_t index) {
  uint32_t start = g_names.start[static_cast<size_t>(index)];
  return std::string_view(g_names.text.data() + start,
                          g_names.start[static_cast<size_t>(index) + 1] - start);
}

// The slot that holds `name`, or the empty slot where it would go.
inline Slot& slot_for(std::string_view name, uint32_t hash) {
  size_t mask = g_names.slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = g_names.slots[i];
    if (slot.index < 0) return slot;
    if (slot.hash == hash && same_name(name_at(slot.index), name)) return slot;
  }
}

void grow_slots() {
  std::vector<Slot> old = std::move(g_names.slots);
  g_names.slots.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
  // The names are distinct: each goes to the first empty slot its probe meets, with no name
  // compared, where a look-up of it would end.
  size_t mask = g_names.slots.size() - 1;
  for (const Slot& slot : old) {
    if (slot.index < 0) continue;
    size_t i = slot.hash & mask;
    while (g_names.slots[i].index >= 0) i = (i + 1) & mask;
    g_names.slots[i] = slot;
  }
}

// The symbols' values and definitions, by index, beside the names.
BlockList<SymbolEntry> g_table;

// A name not in the table yet, filed in `slot`, the empty slot its look-up ended at, unless the
// index must grow first.
int add_symbol(std::string_view name, uint32_t hash, Slot* slot) {
  if ((g_table.size() + 1) * 4 > g_names.slots.size() * 3) {
    grow_slots();
    slot = &slot_for(name, hash);
  }
  int index = static_cast<int>(g_table.size());
  g_table.emplace_back();
  g_names.text += name;
  g_names.start.push_back(static_cast<uint32_t>(g_names.text.size()));
  *slot = Slot{hash, index};
  return index;
}

}  // namespace

void symbols_reset() {
  g_table.clear();
  g_names = NameIndex{};
}

int symbol_find(std::string_view name) {
  return g_names.slots.empty() ? -1 : slot_for(name, hash_of(name)).index;
}

int symbol_find_or_add(std::string_view name) {
  uint32_t hash = hash_of(name);
  if (g_names.slots.empty()) grow_slots();
  Slot& slot = slot_for(name, hash);
  return slot.index >= 0 ? slot.index : add_symbol(name, hash, &slot);
}

uint32_t symbol_hash(std::string_view name) {
  return hash_of(name);
}

int symbol_count() {
  return static_cast<int>(g_table.size());
}

SymbolEntry& symbol_at(int index) {
  return g_table[static_cast<size_t>(index)];
}

std::string_view symbol_name(int index) {
  return index < 0 || index >= symbol_count() ? std::string_view() : name_at(index);
}
