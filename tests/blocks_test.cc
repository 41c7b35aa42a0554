#include "blocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Item {
  int value = -7;
  int pad[3] = {};
};

// Lists of every length around the ends of the first blocks: a walk from each index meets the
// elements that indexing meets, in the order they were added, and nothing else.
TEST(BlockList, WalkMatchesIndexing) {
  const size_t block = BlockList<Item>::kBlock;
  for (size_t n : {size_t{0}, size_t{1}, block - 1, block, block + 1, 3 * block + 2}) {
    BlockList<Item> list;
    for (size_t i = 0; i < n; ++i) list.emplace_back().value = static_cast<int>(i);
    ASSERT_EQ(list.size(), n);
    for (size_t start : {size_t{0}, block - 1, block, n}) {
      if (start > n) continue;
      size_t i = start;
      for (auto walk = list.from(start); walk != list.end(); ++walk, ++i) {
        ASSERT_LT(i, n);
        EXPECT_EQ(&*walk, &list[i]);
        EXPECT_EQ((*walk).value, static_cast<int>(i));
      }
      EXPECT_EQ(i, n) << "from " << start;
    }
  }
}

// Runs around a block's size, also where a run does not fit the rest of a block or is longer
// than one: each lies side by side, no two share an element, and its place leads back to it.
TEST(BlockArena, RunsAreWholeAndApart) {
  const size_t block = BlockArena<Item>::kBlock;
  for (std::vector<size_t> runs :
       std::vector<std::vector<size_t>>{{0, 1},
                                        {block},
                                        {block - 1, 2, 1},
                                        {1, block + 3, 1},
                                        {2 * block + 1, block - 1, 1, 0}}) {
    BlockArena<Item> arena;
    std::vector<std::span<Item>> taken;
    int next = 0;
    for (size_t n : runs) {
      size_t place;
      taken.push_back(arena.take(n, place));
      ASSERT_EQ(taken.back().size(), n);
      if (n > 0) {
        EXPECT_EQ(arena.at(place), taken.back().data());
      }
      for (Item& item : taken.back()) item.value = next++;
    }
    int expected = 0;
    for (std::span<Item> run : taken) {
      for (const Item& item : run) EXPECT_EQ(item.value, expected++);
    }
  }
}

}  // namespace
