// Fuzzes the disassembler against the assembler: an instruction set and an image of words from
// the input (the set up to "\n%%\n", else a fixed one; then two bytes a word from address 0),
// disassembled, assembled again by wendrix and compared word for word with the image, wherever
// every word is decodable. A word no definition gives must be refused, never guessed.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "dis/dis.h"
#include "driver.h"
#include "fuzz_input.h"
#include "output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input::home();
  fuzz_input::enter(data, size);
  std::string words = fuzz_input::read_file("t.asm");
  if (load_instruction_defs("inst.dat") != 0) return fuzz_input::leave(), 0;
  MemoryImage image;
  image.words.assign(kCodeWords, -1);
  for (size_t i = 0; i + 1 < words.size() && i / 2 < kCodeWords; i += 2) {
    image.words[i / 2] =
        (static_cast<uint8_t>(words[i]) | static_cast<uint8_t>(words[i + 1]) << 8) & 0xFFF;
  }
  image.fuse = words.size() % 0x1000;
  image.fusex = 0x0A5;
  std::string source, error;
  bool listing = size % 7 == 0;
  if (!disassemble(instruction_set(), image, {{0, "start"}}, listing, "fuzz", source, error) ||
      listing) {
    return fuzz_input::leave(), 0;
  }
  fuzz_input::write_file("t.asm", source);
  std::ostringstream console;
  if (run_wendrix({"/nonexistent/wendrix", "t"}, console) != 0) std::abort();
  MemoryImage back;
  if (!read_intel_hex(fuzz_input::read_file("t.hex"), back, error)) std::abort();
  for (int a = 0; a < kCodeWords; ++a) {
    int32_t want =
        image.words[static_cast<size_t>(a)] < 0 ? 0xFFF : image.words[static_cast<size_t>(a)];
    if (back.words[static_cast<size_t>(a)] != want) std::abort();
  }
  if (back.fuse != image.fuse || back.fusex != image.fusex) std::abort();
  fuzz_input::leave();
  return 0;
}
