// Runs the whole assembler in-process on a fuzzed instruction set and source, carved from one
// input at the first "\n%%\n" (without one, a fixed instruction set is used).
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "driver.h"

namespace {

const char* const kDefaultIsa =
    "nop : 000000000000\n"
    "load \"a\" d8 : 1010 d7-0\n"
    "move r5 s1 : 011001 s0 r4-0\n"
    "add f5 \"w\" : 000111 0 f4-0\n"
    "add f5 d1 : 000111 d0 f4-0\n"
    "goto k9 : 101 k8-0\n"
    "call k8 : 1001 k7-0\n";

void write_file(const char* name, std::string_view content) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) std::abort();
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

// Every run works in one private directory, made on the first call. The fuzzer's own paths
// are relative to where it started, so each run goes back there afterwards.
void enter_private_directory() {
  static std::string dir;
  if (dir.empty()) {
    char templ[] = "/tmp/wendrix-fuzz-XXXXXX";
    if (!mkdtemp(templ)) std::abort();
    dir = templ;
  }
  if (chdir(dir.c_str()) != 0) std::abort();
}

void leave_private_directory(int home) {
  if (fchdir(home) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int home = open(".", O_RDONLY | O_DIRECTORY);
  enter_private_directory();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find("\n%%\n");
  if (cut == std::string_view::npos) {
    write_file("inst.dat", kDefaultIsa);
    write_file("t.asm", input);
  } else {
    write_file("inst.dat", input.substr(0, cut + 1));
    write_file("t.asm", input.substr(cut + 4));
  }
  std::ostringstream console;
  int status = run_wendrix({"/nonexistent/wendrix", "t"}, console);
  leave_private_directory(home);
  if (status != 0 && status != 1) std::abort();
  // Success always ends with the same words, and a stop never claims it.
  const std::string out = console.str();
  bool done = out.size() >= 8 && out.compare(out.size() - 8, 8, "\n\nDone.\n") == 0;
  if (done != (status == 0)) std::abort();
  return 0;
}
