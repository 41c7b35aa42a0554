// Growing storage in fixed blocks of about 64 KiB. What it holds never moves, so references stay
// valid; growing touches each page once, where a doubling array touches it again at every copy.
// Two kinds, one per use:
//   BlockList   elements added one at a time and reached by index or by a walk in order; its
//               indices are consecutive, whatever the blocks, so element i + 1 is always the one
//               added right after element i.
//   BlockArena  runs of elements side by side in memory, handed out as spans and reached only
//               through them; a run that does not fit the last block starts a new one, and the
//               rest of the old block stays unused. Nothing walks an arena, so nothing can meet
//               those unused elements.
#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

// Elements per block. The small-block build (WENDRIX_SMALL_BLOCKS) makes every block a handful
// of elements, so that even a small test crosses the ends of blocks many times.
template <typename T>
constexpr size_t block_elements() {
#ifdef WENDRIX_SMALL_BLOCKS
  return 4;
#else
  return size_t{1} << (std::bit_width(65536 / sizeof(T)) - 1);
#endif
}

// An array of `n` default-initialised elements (never zeroed first), as
// std::make_unique_for_overwrite makes it; one toolchain the playground is built with lacks that.
template <typename T>
std::unique_ptr<T[]> uninitialized_array(size_t n) {
  return std::unique_ptr<T[]>(new T[n]);
}

template <typename T>
struct BlockList {
  static constexpr size_t kBlock = block_elements<T>();
  static constexpr size_t kShift = std::bit_width(kBlock) - 1;
  static_assert(std::has_single_bit(kBlock), "an index reaches its element by shift and mask");

  std::vector<std::unique_ptr<T[]>> blocks;
  size_t count = 0;   // elements added
  T* next = nullptr;  // the next element of the last block, and
  size_t room = 0;    // how many are left there: kept for a cheap emplace_back

  T& operator[](size_t i) {
    assert(i < count);
    return blocks[i >> kShift][i & (kBlock - 1)];
  }
  const T& operator[](size_t i) const {
    assert(i < count);
    return blocks[i >> kShift][i & (kBlock - 1)];
  }
  size_t size() const { return count; }
  bool empty() const { return count == 0; }
  T& back() { return (*this)[count - 1]; }
  const T& back() const { return (*this)[count - 1]; }
  void clear() {
    blocks.clear();
    count = 0;
    next = nullptr;
    room = 0;
  }

  // A new element at index size() - 1, as its default constructor made it when its block was
  // added.
  T& emplace_back() {
    if (room == 0) add_block();
    --room;
    ++count;
    assert(count + room == blocks.size() * kBlock);
    return *next++;
  }
  // Never inlined: growing is rare, and where the compiler inlines it into emplace_back, every
  // caller pays for saving the registers it needs (measured: 5% more instructions).
  [[gnu::noinline]] void add_block();

  // In index order, for range-for: element by element inside a block, by index from one block
  // to the next.
  template <typename List, typename Element>
  struct Walk {
    List* list;
    size_t index;
    Element* element;  // the element at `index`, while there is one
    Element& operator*() const { return *element; }
    Walk& operator++() {
      ++index;
      if ((index & (kBlock - 1)) != 0) {
        ++element;
      } else if (index < list->count) {
        element = &(*list)[index];
      }
      return *this;
    }
    bool operator!=(const Walk& other) const { return index != other.index; }
  };
  Walk<BlockList, T> from(size_t index) {
    return {this, index, index < count ? &(*this)[index] : nullptr};
  }
  Walk<const BlockList, const T> from(size_t index) const {
    return {this, index, index < count ? &(*this)[index] : nullptr};
  }
  Walk<BlockList, T> begin() { return from(0); }
  Walk<BlockList, T> end() { return {this, count, nullptr}; }
  Walk<const BlockList, const T> begin() const { return from(0); }
  Walk<const BlockList, const T> end() const { return {this, count, nullptr}; }
};

// Out of the class body: growing is rare, and emplace_back stays small without it. Elements are
// default-initialised, never zeroed first: every element type kept in a list sets all its
// fields itself, or the code that adds an element writes it whole.
template <typename T>
void BlockList<T>::add_block() {
  blocks.push_back(uninitialized_array<T>(kBlock));
  next = blocks.back().get();
  room = kBlock;
}

template <typename T>
struct BlockArena {
  static constexpr size_t kBlock = block_elements<T>();

  std::vector<std::unique_ptr<T[]>> blocks;
  T* next = nullptr;      // the first unused element of the last block
  size_t room = 0;        // unused elements from `next` to the end of the last block
  size_t next_place = 0;  // the place of `next` (take with a place)

  void clear() {
    blocks.clear();
    next = nullptr;
    room = 0;
    next_place = 0;
  }

  // `n` new elements side by side, default-initialised (a char is left to be written). A run
  // longer than a block gets a block of its own.
  std::span<T> take(size_t n) {
    if (n > room) add_block(std::max(n, kBlock));
    std::span<T> run(next, n);
    next += n;
    room -= n;
    next_place += n;
    return run;
  }
  // The same, for a record that keeps a number rather than a pointer: also the run's place, its
  // block times kBlock plus its offset there, which `at` turns back into the run. A run of one
  // or more starts below kBlock in its block, as it fits there or has the block to itself.
  std::span<T> take(size_t n, size_t& place) {
    std::span<T> run = take(n);
    place = next_place - n;
    assert(n == 0 || at(place) == run.data());
    return run;
  }
  T* at(size_t place) const { return blocks[place / kBlock].get() + place % kBlock; }
  void add_block(size_t elements);
};

template <typename T>
void BlockArena<T>::add_block(size_t elements) {
  blocks.push_back(uninitialized_array<T>(elements));
  next = blocks.back().get();
  room = elements;
  next_place = (blocks.size() - 1) * kBlock;
}
