// Growing storage in fixed blocks of about 64 KiB. What it holds never moves, so references stay
// valid; growing touches each page once, where a doubling array touches it again at every copy;
// and an index reaches its element with a shift and a mask.
#pragma once

#include <bit>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

template <typename T>
struct BlockArray {
  static constexpr size_t kShift = std::bit_width(65536 / sizeof(T)) - 1;
  static constexpr size_t kBlock = size_t{1} << kShift;

  std::vector<std::unique_ptr<T[]>> blocks;
  size_t count = 0;  // elements handed out, with the ends of blocks that take() passed over
  size_t room = 0;   // elements left in the last block

  T& operator[](size_t i) { return blocks[i >> kShift][i & (kBlock - 1)]; }
  const T& operator[](size_t i) const { return blocks[i >> kShift][i & (kBlock - 1)]; }
  size_t size() const { return count; }
  bool empty() const { return count == 0; }
  T& back() { return (*this)[count - 1]; }
  const T& back() const { return (*this)[count - 1]; }
  void clear() {
    blocks.clear();
    count = 0;
    room = 0;
  }

  // A new element, as its default constructor made it when its block was added.
  T& emplace_back() {
    if (room == 0) add_block();
    --room;
    ++count;
    return blocks.back()[kBlock - 1 - room];
  }
  // `n` new elements side by side (at most kBlock); when the last block has no room for them, the
  // rest of it is passed over.
  std::span<T> take(size_t n) {
    if (n == 0) return {};
    if (n > room) {
      count += room;
      add_block();
    }
    std::span<T> run(&blocks.back()[kBlock - room], n);
    room -= n;
    count += n;
    return run;
  }
  void add_block();

  // In index order, for range-for: element by element inside a block, by index from one block
  // to the next.
  template <typename Array, typename Element>
  struct Walk {
    Array* array;
    size_t index;
    Element* element;  // the element at `index`, while there is one
    Element& operator*() const { return *element; }
    Walk& operator++() {
      ++index;
      if ((index & (kBlock - 1)) != 0) {
        ++element;
      } else if (index < array->count) {
        element = &(*array)[index];
      }
      return *this;
    }
    bool operator!=(const Walk& other) const { return index != other.index; }
  };
  Walk<BlockArray, T> from(size_t index) {
    return {this, index, index < count ? &(*this)[index] : nullptr};
  }
  Walk<const BlockArray, const T> from(size_t index) const {
    return {this, index, index < count ? &(*this)[index] : nullptr};
  }
  Walk<BlockArray, T> begin() { return from(0); }
  Walk<BlockArray, T> end() { return {this, count, nullptr}; }
  Walk<const BlockArray, const T> begin() const { return from(0); }
  Walk<const BlockArray, const T> end() const { return {this, count, nullptr}; }
};

// Out of the class body: growing is rare, and the element functions stay small without it.
// Elements are default-initialised, never zeroed first: every element type here sets all its
// fields, except char, whose blocks take() hands out to be written.
template <typename T>
void BlockArray<T>::add_block() {
  blocks.push_back(std::make_unique_for_overwrite<T[]>(kBlock));
  room = kBlock;
}
