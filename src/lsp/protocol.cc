// The protocol's framing and messages: reading, resynchronising, answering; URIs.
#include "lsp/protocol.h"

#include <filesystem>
#include <istream>
#include <ostream>

#include "source.h"

namespace {

// Reads at most `max` bytes, up to and including the first line feed: the pending bytes first,
// then the stream. False when nothing at all is left.
bool read_piece(MessageReader& r, size_t max, std::string& out) {
  out.clear();
  if (!r.pending.empty()) {
    size_t feed = r.pending.find('\n');
    size_t take = std::min(max, feed == std::string::npos ? r.pending.size() : feed + 1);
    out.assign(r.pending, 0, take);
    r.pending.erase(0, take);
    if (out.back() == '\n' || out.size() == max) return true;
  }
  // A byte at a time from the stream's buffer: a read never looks past the byte it needs, as a
  // look ahead would wait for the client's next message.
  std::streambuf* buffer = r.in->rdbuf();
  while (out.size() < max) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      r.in->setstate(std::ios::eofbit);
      break;
    }
    out += static_cast<char>(c);
    if (c == '\n') break;
  }
  return !out.empty();
}

// Where the last "Content-Length:" of a text starts (letter case ignored), or npos.
size_t length_header(std::string_view text) {
  const std::string_view name = "content-length:";
  for (size_t at = text.size() >= name.size() ? text.size() - name.size() + 1 : 0; at-- > 0;) {
    if (same_ignoring_case(text.substr(at, name.size()), name)) return at;
  }
  return std::string_view::npos;
}

// The value of a header line's Content-Length at `at`: digits after blanks; npos when there are
// none or the value is beyond the limit of a body.
size_t length_value(std::string_view line, size_t at) {
  size_t i = at + 15;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i == line.size() || !is_digit(line[i])) return std::string::npos;
  size_t n = 0;
  for (; i < line.size() && is_digit(line[i]); ++i) {
    n = n * 10 + static_cast<size_t>(line[i] - '0');
    if (n > kMaxBody) return std::string::npos;
  }
  return n;
}

// Whether a piece of a body ends with the next message's header: "Content-Length: N" and the
// line feed, which no JSON text can hold (a line feed inside a string is not allowed, and the
// name is not a token).
size_t next_header(std::string_view piece) {
  if (piece.empty() || piece.back() != '\n') return std::string_view::npos;
  size_t at = length_header(piece);
  if (at == std::string_view::npos) return at;
  size_t i = at + 15;
  while (i < piece.size() && piece[i] == ' ') ++i;
  size_t digits = i;
  while (i < piece.size() && is_digit(piece[i])) ++i;
  if (i == digits) return std::string_view::npos;
  if (i < piece.size() && piece[i] == '\r') ++i;
  return i + 1 == piece.size() ? at : std::string_view::npos;
}

}  // namespace

MessageRead read_message(MessageReader& r, std::string& body) {
  size_t length = std::string::npos;
  std::string line;
  for (bool any = false;;) {
    if (!read_piece(r, kMaxHeaderLine, line)) return any ? MESSAGE_MALFORMED : MESSAGE_END;
    any = true;
    if (line.back() != '\n') {
      // A line over the limit: the rest of it is passed over, a piece at a time.
      while (line.back() != '\n' && read_piece(r, kMaxHeaderLine, line)) {
      }
      continue;
    }
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    // The header may follow the rest of a body that was longer than its Content-Length said.
    size_t at = length_header(line);
    if (at != std::string::npos) length = length_value(line, at);
  }
  if (length == std::string::npos) return MESSAGE_MALFORMED;
  body.clear();
  std::string piece;
  while (body.size() < length) {
    if (!read_piece(r, length - body.size(), piece)) return MESSAGE_END;
    size_t header = next_header(piece);
    if (header != std::string::npos) {
      // The Content-Length was too long: the next message starts here.
      r.pending.insert(0, piece.substr(header));
      body += piece.substr(0, header);
      return MESSAGE_READ;
    }
    body += piece;
  }
  return MESSAGE_READ;
}

bool nested_too_deeply(const std::string& body) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

void send_message(std::ostream& out, const json& message) {
  std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
  out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
  out.flush();
}

void reply(std::ostream& out, const json& id, const json& result) {
  send_message(out, {{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
}

void reply_text(std::ostream& out, const json& id, const std::string& result) {
  std::string body = "{\"id\":" + id.dump(-1, ' ', false, json::error_handler_t::replace) +
                     ",\"jsonrpc\":\"2.0\",\"result\":" + result + "}";
  out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
  out.flush();
}

void reply_error(std::ostream& out, const json& id, int code, const std::string& message) {
  send_message(out,
               {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

std::string path_of(const std::string& uri) {
  if (!uri.starts_with("file://")) return "";
  std::string path;
  for (size_t i = 7; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && is_hex_digit(uri[i + 1]) &&
        is_hex_digit(uri[i + 2])) {
      path += static_cast<char>(digit_value(uri[i + 1]) * 16 + digit_value(uri[i + 2]));
      i += 2;
    } else {
      path += uri[i];
    }
  }
  return std::filesystem::path(path).lexically_normal().string();
}

std::string uri_of(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (is_name_char(static_cast<char>(c)) ||
        std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}
