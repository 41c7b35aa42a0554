// Intel HEX read back into the words of program memory and the configuration words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Program memory as a hex file holds it: 16-bit little-endian words, the code at byte addresses
// 0 to 0xFFF and the configuration words at 0x2020 (FUSE) and 0x2022 (FUSEX).
struct MemoryImage {
  std::vector<int32_t> words;  // one per code address; -1 where the file holds none
  int32_t fuse = -1, fusex = -1;
};

// A number in lower-case hexadecimal digits, at least `width` of them.
std::string hex_digits(uint32_t value, int width = 1);

// Reads the records (data, end of file; an extended address of 0); false with the reason in
// `error` for a record that is malformed, fails its checksum, or lies outside the layout.
bool read_intel_hex(const std::string& text, MemoryImage& image, std::string& error);
