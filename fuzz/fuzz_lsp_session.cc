// Fuzzes the language server's request handlers: the input makes a workspace (an instruction
// set, a main source and an include file, cut at "\n%%\n") and a session over it (each byte
// after the files picks the next message: a question at a position, an edit, a save, a close, a
// message of the wrong shape). Whatever the files and the session, every request gets its answer
// and the server never crashes, hangs or reads outside what it was given.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lsp.h"
#include "lsp/protocol.h"

namespace {

std::string frame(const json& message) {
  std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string& workspace() {
  static const std::string root = [] {
    char name[] = "/tmp/wendrix-fuzz-XXXXXX";
    return std::string(mkdtemp(name) ? name : "/tmp");
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  for (size_t at = 0; parts.size() < 3;) {
    size_t cut = input.find("\n%%\n", at);
    if (cut == std::string::npos) break;
    parts.push_back(input.substr(at, cut - at));
    input.erase(0, cut + 4);
  }
  while (parts.size() < 3) parts.push_back("");
  const std::string& root = workspace();
  const char* const names[] = {"inst.dat", "main.asm", "x.inc"};
  for (size_t i = 0; i < 3; ++i) std::ofstream(root + "/" + names[i], std::ios::binary) << parts[i];
  const std::string uris[] = {"file://" + root + "/main.asm", "file://" + root + "/x.inc",
                              "file://" + root + "/inst.dat", "file://" + root + "/none.asm"};
  std::string session =
      frame({{"jsonrpc", "2.0"},
             {"id", 0},
             {"method", "initialize"},
             {"params", {{"rootUri", "file://" + root}}}}) +
      frame({{"jsonrpc", "2.0"},
             {"method", "textDocument/didOpen"},
             {"params", {{"textDocument", {{"uri", uris[0]}, {"text", parts[1]}}}}}});
  const char* const methods[] = {"textDocument/hover",          "textDocument/definition",
                                 "textDocument/references",     "textDocument/completion",
                                 "textDocument/documentSymbol", "textDocument/semanticTokens/full"};
  std::string text = parts[1];
  int id = 1;
  for (size_t i = 0; i + 2 < input.size() && id < 64; i += 3, ++id) {
    uint8_t kind = static_cast<uint8_t>(input[i]), a = static_cast<uint8_t>(input[i + 1]),
            b = static_cast<uint8_t>(input[i + 2]);
    const std::string& uri = uris[kind >> 6];
    json document = {{"uri", uri}};
    switch (kind % 10) {
      case 6:  // an edit: a byte of the text replaced, or one added
        if (!text.empty() && a % 2) {
          text[b % text.size()] = static_cast<char>(a);
        } else {
          text += static_cast<char>(b);
        }
        session += frame(
            {{"jsonrpc", "2.0"},
             {"method", "textDocument/didChange"},
             {"params", {{"textDocument", document}, {"contentChanges", {{{"text", text}}}}}}});
        break;
      case 7:
        session += frame({{"jsonrpc", "2.0"},
                          {"method", a % 2 ? "textDocument/didSave" : "textDocument/didClose"},
                          {"params", {{"textDocument", document}}}});
        break;
      case 8:  // a message of the wrong shape
        session += frame({{"jsonrpc", "2.0"},
                          {"id", id},
                          {"method", methods[a % 6]},
                          {"params", a % 3 ? json(b) : json::array()}});
        break;
      case 9:
        session += "Content-Length: " + std::to_string(a) + "\r\n\r\n" +
                   input.substr(i, std::min<size_t>(b, input.size() - i));
        break;
      default:
        session += frame({{"jsonrpc", "2.0"},
                          {"id", id},
                          {"method", methods[kind % 6]},
                          {"params",
                           {{"textDocument", document},
                            {"position", {{"line", a % 16}, {"character", b % 40}}}}}});
    }
  }
  session += frame({{"jsonrpc", "2.0"}, {"id", 99}, {"method", "shutdown"}}) +
             frame({{"jsonrpc", "2.0"}, {"method", "exit"}});
  std::istringstream in(session);
  std::ostringstream out;
  serve_lsp(in, out);
  return 0;
}
