// Intel HEX reading: records checked byte by byte, then the words put together.
#include "dis/hex.h"

#include <map>

#include "output.h"
#include "source.h"

namespace {

constexpr uint32_t kConfigByte = 0x2020;  // FUSE, then FUSEX

}  // namespace

std::string hex_digits(uint32_t value, int width) {
  static const char* const kDigits = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value);
  while (static_cast<int>(out.size()) < width) out.insert(out.begin(), '0');
  return out;
}

bool read_intel_hex(const std::string& text, MemoryImage& image, std::string& error) {
  image = MemoryImage{};
  image.words.assign(kCodeWords, -1);
  std::map<uint32_t, uint8_t> bytes;
  size_t start = 0;
  bool ended = false;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string where = "line " + std::to_string(number);
    if (ended) return error = where + ": a record after the end-of-file record", false;
    if (line[0] != ':' || line.size() < 11 || line.size() % 2 == 0) {
      return error = where + ": not an Intel HEX record", false;
    }
    std::vector<uint8_t> b;
    unsigned sum = 0;
    for (size_t i = 1; i < line.size(); i += 2) {
      if (!is_hex_digit(line[i]) || !is_hex_digit(line[i + 1])) {
        return error = where + ": not an Intel HEX record", false;
      }
      b.push_back(static_cast<uint8_t>(digit_value(line[i]) * 16 + digit_value(line[i + 1])));
      sum += b.back();
    }
    if (b[0] + 5u != b.size()) return error = where + ": the byte count is wrong", false;
    if (sum % 256 != 0) return error = where + ": the checksum is wrong", false;
    uint32_t address = static_cast<uint32_t>(b[1]) << 8 | b[2];
    switch (b[3]) {
      case 0:
        for (unsigned i = 0; i < b[0]; ++i) bytes[address + i] = b[4 + i];
        break;
      case 1:
        ended = true;
        break;
      case 2:
      case 4:
        // An extended address above 0 lies beyond the layout.
        if (b[0] != 2 || (b[4] | b[5]) != 0) {
          return error = where + ": an address beyond the device's memory", false;
        }
        break;
      default:
        return error = where + ": record type " + std::to_string(b[3]) + " is not used", false;
    }
  }
  if (!ended) return error = "the end-of-file record is missing", false;
  for (auto it = bytes.begin(); it != bytes.end(); ++it) {
    uint32_t at = it->first;
    bool config = at >= kConfigByte && at < kConfigByte + 4;
    if (at >= 2 * kCodeWords && !config) {
      return error = "byte address 0x" + hex_digits(at) +
                     " lies outside program memory and the "
                     "configuration words",
             false;
    }
    if (at % 2) continue;  // the high byte of a word read below
    auto high = bytes.find(at + 1);
    int32_t word = it->second | (high != bytes.end() ? high->second << 8 : 0);
    if (at == kConfigByte)
      image.fuse = word;
    else if (at == kConfigByte + 2)
      image.fusex = word;
    else
      image.words[at / 2] = word;
  }
  return true;
}
