// The protocol's framing (headers, an empty line, a body of Content-Length bytes) and its
// messages: reading them back in step after any mistake of a client, and writing answers.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

using json = nlohmann::json;

// Limits: no header line and no message of the protocol comes near them.
constexpr size_t kMaxHeaderLine = 8192;
constexpr size_t kMaxBody = size_t{64} << 20;
// JSON nested deeper than this is refused before it is parsed.
constexpr int kMaxNesting = 512;

// The protocol's error codes.
constexpr int kParseError = -32700, kInvalidRequest = -32600, kMethodNotFound = -32601,
              kInvalidParams = -32602, kInternalError = -32603, kNotInitialized = -32002;

enum MessageRead { MESSAGE_READ, MESSAGE_MALFORMED, MESSAGE_END };

// Reads from a stream, with the bytes read past a message's end (the headers of the next one,
// behind a body that a Content-Length said was longer) to read again first.
struct MessageReader {
  std::istream* in;
  std::string pending;
};

// Reads one message. MESSAGE_MALFORMED: headers without a usable Content-Length (they are
// consumed; the next header is found again wherever it starts); MESSAGE_END: the input ended. A
// Content-Length too long for its body gives the body up to the next message's header.
MessageRead read_message(MessageReader& reader, std::string& body);

// Whether a body nests arrays and objects deeper than kMaxNesting.
bool nested_too_deeply(const std::string& body);

void send_message(std::ostream& out, const json& message);
void reply(std::ostream& out, const json& id, const json& result);
// An answer whose result is already JSON text.
void reply_text(std::ostream& out, const json& id, const std::string& result);
void reply_error(std::ostream& out, const json& id, int code, const std::string& message);

// file:// URIs and the paths they name.
std::string path_of(const std::string& uri);
std::string uri_of(const std::string& path);
