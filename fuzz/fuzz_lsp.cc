// Fuzzes the language server's message reader: any bytes, read as a stream of framed messages,
// must give whole messages, malformed ones skipped, and an end, never a crash or a hang; every
// body is parsed as JSON as the server parses it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "lsp/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  MessageReader reader{&in, ""};
  std::string body;
  size_t messages = 0;
  for (;;) {
    MessageRead got = read_message(reader, body);
    if (got == MESSAGE_END) break;
    // Each message takes at least its empty line: the reader always moves on.
    if (++messages > size + 1) std::abort();
    if (got == MESSAGE_READ && !nested_too_deeply(body)) (void)json::parse(body, nullptr, false);
  }
  return 0;
}
