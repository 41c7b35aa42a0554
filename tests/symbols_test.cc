#include "symbols.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Names read a word at a time must still be told apart by every byte: for each length the
// hash and the comparison treat differently (under four, four to seven, eight, longer), names
// that differ in one byte only, at the start, in the middle or at the end, are distinct
// symbols, each found again by its exact name and not by that name with a byte more.
TEST(SymbolTable, NamesDifferingInOneByte) {
  symbols_reset();
  std::vector<std::string> names;
  for (size_t length : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17}) {
    std::string base(length, 'a');
    for (size_t at : {length, size_t{0}, length / 2, length - 1}) {
      std::string name = base;
      if (at < length) name[at] = 'A';
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  }
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(symbol_find_or_add(names[i]), static_cast<int>(i)) << names[i];
  }
  EXPECT_EQ(symbol_count(), static_cast<int>(names.size()));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(symbol_find(names[i]), static_cast<int>(i)) << names[i];
    EXPECT_EQ(symbol_name(static_cast<int>(i)), names[i]);
    EXPECT_EQ(symbol_find(names[i] + "b"), -1) << names[i];
    // Found by its own bytes, whatever follows it in the text it is read from.
    std::string followed = names[i] + "bbbbbbbb";
    EXPECT_EQ(symbol_find(std::string_view(followed).substr(0, names[i].size())),
              static_cast<int>(i))
        << names[i];
  }
  EXPECT_EQ(symbol_find("b"), -1);
  EXPECT_EQ(symbol_find(""), -1);
}

// Two names with the same hash, the first `alike` bytes alike, `length` bytes long: found by a
// search over the hash in use, so that they collide whatever the hash becomes. The table takes
// any bytes for a name, so the search tries every byte but NUL.
std::pair<std::string, std::string> colliding_pair(size_t alike, size_t length) {
  std::unordered_map<uint32_t, std::string> seen;
  for (size_t i = 0; i < 20000000; ++i) {
    std::string name(alike, 'k');
    for (size_t n = i; name.size() < length; n /= 255) name += static_cast<char>(1 + n % 255);
    auto [it, added] = seen.emplace(symbol_hash(name), name);
    if (!added && it->second != name) return {it->second, name};
  }
  return {};
}

// Names whose hashes agree, for each way a name is read: one four-byte word; two overlapping
// halves, three bytes alike; eight-byte words, the first alike. Only the comparison of the whole
// name tells them apart.
TEST(SymbolTable, NamesWithTheSameHash) {
  for (auto [alike, length] : {std::pair<size_t, size_t>{0, 4}, {3, 7}, {8, 12}}) {
    auto [a, b] = colliding_pair(alike, length);
    ASSERT_FALSE(a.empty()) << "no two names of " << length << " bytes collide";
    ASSERT_EQ(symbol_hash(a), symbol_hash(b));
    symbols_reset();
    EXPECT_EQ(symbol_find_or_add(a), 0);
    EXPECT_EQ(symbol_find_or_add(b), 1) << a << " " << b;
    EXPECT_EQ(symbol_find(a), 0);
    EXPECT_EQ(symbol_find(b), 1);
    EXPECT_EQ(symbol_name(1), b);
  }
}

}  // namespace
