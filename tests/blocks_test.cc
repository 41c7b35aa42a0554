#include "blocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Item {
  int value = -7;  // what an element holds before it is written
  int pad[3] = {};
};

// Elements added one by one and in runs, with runs that pass over the end of a block: a walk
// meets every index in order, the same element as indexing does, unwritten ones as made.
TEST(BlockArray, WalkMatchesIndexing) {
  using Array = BlockArray<Item>;
  const size_t block = Array::kBlock;
  struct Case {
    std::vector<size_t> runs;  // 0: one emplace_back, otherwise a take() of that many
  };
  const Case cases[] = {
      {{}},
      {{0}},
      {{block}},
      {{block, 0}},
      {{block - 1, 0, 0}},
      {{block - 2, 3, 0}},  // the run does not fit: two elements passed over
      {{5, block, block, 0}},
  };
  for (const Case& c : cases) {
    Array array;
    int next = 0;
    for (size_t run : c.runs) {
      if (run == 0) {
        array.emplace_back().value = next++;
      } else {
        for (Item& item : array.take(run)) item.value = next++;
      }
    }
    size_t walked = 0;
    const Array& fixed = array;
    for (const Item& item : fixed) {
      ASSERT_LT(walked, array.size());
      EXPECT_EQ(&item, &array[walked]) << walked;
      ++walked;
    }
    EXPECT_EQ(walked, array.size());
    std::vector<int> values;
    for (Item& item : array) {
      if (item.value != -7) values.push_back(item.value);
    }
    ASSERT_EQ(values.size(), static_cast<size_t>(next));
    for (int i = 0; i < next; ++i) EXPECT_EQ(values[static_cast<size_t>(i)], i);
  }
}

}  // namespace
