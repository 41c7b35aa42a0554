// What the whole-program fuzz targets share: a fuzzed input carved into an instruction set and
// a source, laid out in one private directory as inst.dat and t.asm.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz_input {

inline const char* const kDefaultIsa =
    "nop : 000000000000\n"
    "load \"a\" d8 : 1010 d7-0\n"
    "move r5 s1 : 011001 s0 r4-0\n"
    "add f5 \"w\" : 000111 0 f4-0\n"
    "add f5 d1 : 000111 d0 f4-0\n"
    "goto k9 : 101 k8-0\n"
    "call k8 : 1001 k7-0\n";

inline void write_file(const char* name, std::string_view content) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) std::abort();
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

// Every run works in one private directory, made on the first call; the fuzzer's own paths are
// relative to where it started, so leave() goes back there.
inline void enter(const uint8_t* data, size_t size) {
  static std::string dir;
  if (dir.empty()) {
    char templ[] = "/tmp/wendrix-fuzz-XXXXXX";
    if (!mkdtemp(templ)) std::abort();
    dir = templ;
  }
  if (chdir(dir.c_str()) != 0) std::abort();
  // The input up to the first "\n%%\n" is the instruction set; without one, a fixed set is used.
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find("\n%%\n");
  if (cut == std::string_view::npos) {
    write_file("inst.dat", kDefaultIsa);
    write_file("t.asm", input);
  } else {
    write_file("inst.dat", input.substr(0, cut + 1));
    write_file("t.asm", input.substr(cut + 4));
  }
}

inline int home() {
  static int fd = open(".", O_RDONLY | O_DIRECTORY);
  return fd;
}

inline void leave() {
  if (fchdir(home()) != 0) std::abort();
}

inline std::string read_file(const char* name) {
  std::string text;
  if (std::FILE* f = std::fopen(name, "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

}  // namespace fuzz_input
