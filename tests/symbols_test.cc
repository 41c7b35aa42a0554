#include "symbols.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
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

// Pairs whose hashes agree (found by a search over the hash in use) and that begin alike:
// only the comparison of the whole name tells them apart.
TEST(SymbolTable, NamesWithTheSameHash) {
  const char* const pairs[][2] = {
      {"abTn", "aerU"},                  // one four-byte word
      {"kkkaKeR", "kkkaXLu"},            // two overlapping halves, the first alike
      {"kkkkkkkkaxSF", "kkkkkkkkaBhl"},  // eight-byte words, the first alike
  };
  for (const auto& pair : pairs) {
    symbols_reset();
    EXPECT_EQ(symbol_find_or_add(pair[0]), 0);
    EXPECT_EQ(symbol_find_or_add(pair[1]), 1) << pair[1];
    EXPECT_EQ(symbol_find(pair[0]), 0);
    EXPECT_EQ(symbol_find(pair[1]), 1);
  }
}

// The index grows past its first size several times; every name keeps its index.
TEST(SymbolTable, IndicesSurviveGrowth) {
  symbols_reset();
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(symbol_find_or_add("k" + std::to_string(i)), i);
  }
  for (int i = 0; i < 5000; ++i) EXPECT_EQ(symbol_find("k" + std::to_string(i)), i);
  EXPECT_EQ(symbol_find("k5000"), -1);
  EXPECT_EQ(symbol_find_or_add("k4999"), 4999);
  EXPECT_EQ(symbol_count(), 5000);
  EXPECT_EQ(symbol_name(5000), "");
  EXPECT_EQ(symbol_name(-1), "");

  // A reset forgets the names and their index: a new run starts from index 0.
  symbols_reset();
  EXPECT_EQ(symbol_count(), 0);
  EXPECT_EQ(symbol_find("k1"), -1);
  EXPECT_EQ(symbol_find_or_add("k4999"), 0);
  EXPECT_EQ(symbol_find("k4999"), 0);
}

}  // namespace
