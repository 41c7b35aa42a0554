// The floor under an assembler's pass over its input: reads NAME.asm and the files it includes,
// splits every line into fields at blanks and commas, hashes each field, and prints the sum.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

uint64_t g_sum = 0;

int read_file(const std::string& name) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return 1;
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "#include \"", 10) == 0) {
      const char* end = std::strchr(line + 10, '"');
      if (end && read_file(std::string(line + 10, static_cast<size_t>(end - (line + 10)))) != 0) {
        return 1;
      }
      continue;
    }
    uint64_t h = 0;
    bool in_field = false;
    for (const char* p = line;; ++p) {
      unsigned char c = static_cast<unsigned char>(*p);
      bool blank = c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r' || c == 0;
      if (!blank) {
        h = ((in_field ? h : 14695981039346656037u) ^ c) * 1099511628211u;
        in_field = true;
      } else if (in_field) {
        g_sum += h;
        in_field = false;
      }
      if (c == 0) break;
    }
  }
  std::fclose(f);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || read_file(std::string(argv[1]) + ".asm") != 0) return 1;
  std::printf("%llu\n", static_cast<unsigned long long>(g_sum));
  return 0;
}
