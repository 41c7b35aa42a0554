#include "blocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Item {
  int value = -7;  // what an element holds before it is written
  int pad[3] = {};
};

// Elements added one by one (0) and in runs of take(), some passing over the end of a block: a
// walk meets every index in order, the same element as indexing, unwritten ones as made.
TEST(BlockArray, WalkMatchesIndexing) {
  const size_t block = BlockArray<Item>::kBlock;
  const std::vector<size_t> cases[] = {
      {}, {0}, {block}, {block, 0}, {block - 1, 0, 0}, {block - 2, 3, 0}, {5, block, block, 0},
  };
  for (const std::vector<size_t>& runs : cases) {
    BlockArray<Item> array;
    int next = 0;
    for (size_t run : runs) {
      if (run == 0) array.emplace_back().value = next++;
      for (Item& item : array.take(run)) item.value = next++;
    }
    size_t walked = 0;
    std::vector<int> values;
    for (const Item& item : static_cast<const BlockArray<Item>&>(array)) {
      ASSERT_LT(walked, array.size());
      EXPECT_EQ(&item, &array[walked++]);
      if (item.value != -7) values.push_back(item.value);
    }
    EXPECT_EQ(walked, array.size());
    ASSERT_EQ(values.size(), static_cast<size_t>(next));
    for (int i = 0; i < next; ++i) EXPECT_EQ(values[static_cast<size_t>(i)], i);
  }
}

}  // namespace
