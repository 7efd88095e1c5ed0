// Content-Length framing over file descriptors, with bounded lines and bodies.
#include "tools/qsd/lsp/transport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <optional>

namespace quillshade::qsd::lsp {
namespace {

constexpr std::size_t kMaxHeaderLine = 4096;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kMaxNesting = 256;  // the protocol's messages need a handful

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

Incoming Malformed(std::string problem) { return Incoming{Incoming::Kind::Malformed, {}, std::move(problem)}; }

// Whether JSON text nests arrays and objects deeper than `limit`. Parsing would cope,
// but copying and printing a value recurse once per level, so a message of a million
// brackets would overflow the stack.
bool NestedDeeperThan(std::string_view json, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

}  // namespace

bool MessageReader::Fill() {
  if (at_ > 0) {
    buffer_.erase(0, at_);
    at_ = 0;
  }
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(got));
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    return false;
  }
}

MessageReader::LineResult MessageReader::ReadLine(std::string& line) {
  bool tooLong = false;
  for (;;) {
    const std::size_t end = buffer_.find('\n', at_);
    if (end != std::string::npos) {
      if (!tooLong) line.assign(buffer_, at_, end - at_);
      at_ = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return tooLong ? LineResult::TooLong : LineResult::Line;
    }
    if (buffer_.size() - at_ > kMaxHeaderLine) {
      tooLong = true;  // drop what came so far and look for the line's end
      at_ = buffer_.size();
    }
    if (!Fill()) return LineResult::End;
  }
}

bool MessageReader::ReadBody(std::size_t length, std::string& body) {
  while (buffer_.size() - at_ < length)
    if (!Fill()) return false;
  body.assign(buffer_, at_, length);
  at_ += length;
  return true;
}

bool MessageReader::Skip(std::size_t length) {
  for (;;) {
    const std::size_t here = std::min(length, buffer_.size() - at_);
    at_ += here;
    length -= here;
    if (length == 0) return true;
    if (!Fill()) return false;
  }
}

Incoming MessageReader::Read() {
  std::string line;
  std::optional<std::size_t> length;
  std::string fault;
  bool sawHeader = false;
  for (;;) {
    const LineResult result = ReadLine(line);
    if (result == LineResult::End) {
      if (sawHeader) return Malformed("the input ended inside a message's header");
      return Incoming{};
    }
    if (result == LineResult::TooLong) {
      fault = "a header line longer than " + std::to_string(kMaxHeaderLine) + " bytes";
      sawHeader = true;
      continue;
    }
    if (line.empty()) {
      if (!sawHeader) continue;  // blank lines between messages are harmless
      break;
    }
    sawHeader = true;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
      fault = "a header line without ':'";
      continue;
    }
    const std::string name = Lower(TrimBlanks(std::string_view(line).substr(0, colon)));
    const std::string_view value = TrimBlanks(std::string_view(line).substr(colon + 1));
    if (name == "content-length") {
      if (value.empty() || value.size() > 15 || value.find_first_not_of("0123456789") != std::string_view::npos) {
        fault = "a Content-Length that is not a number";
        continue;
      }
      length = std::stoull(std::string(value));
    } else if (name == "content-type") {
      const std::string type = Lower(value);
      if (type.find("charset") != std::string::npos && type.find("utf-8") == std::string::npos &&
          type.find("utf8") == std::string::npos)
        fault = "a Content-Type that is not UTF-8";
    }
    // Other headers mean nothing to this server and are passed over.
  }
  if (!length) return Malformed(fault.empty() ? "a message without a Content-Length header" : fault);
  if (*length > kMaxMessageBytes) {
    if (!Skip(*length)) return Malformed("the input ended inside a message's body");
    return Malformed("a message of " + std::to_string(*length) + " bytes, more than the " +
                     std::to_string(kMaxMessageBytes >> 20) + " MiB a message may have: skipped");
  }
  std::string body;
  if (!ReadBody(*length, body)) return Malformed("the input ended inside a message's body");
  if (!fault.empty()) return Malformed(fault);
  if (NestedDeeperThan(body, kMaxNesting))
    return Incoming{Incoming::Kind::NotJson, {}, "a message nested deeper than " + std::to_string(kMaxNesting) + " levels"};
  Json message = Json::parse(body, nullptr, false);
  if (message.is_discarded()) return Incoming{Incoming::Kind::NotJson, {}, "a message body that is not JSON"};
  return Incoming{Incoming::Kind::Message, std::move(message), {}};
}

void MessageWriter::Write(const Json& message) {
  const std::string body = message.dump(-1, ' ', false, Json::error_handler_t::replace);
  const std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  const std::lock_guard lock(mutex_);
  std::fwrite(header.data(), 1, header.size(), out_);
  std::fwrite(body.data(), 1, body.size(), out_);
  std::fflush(out_);
}

}  // namespace quillshade::qsd::lsp
