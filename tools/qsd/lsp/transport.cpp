// Content-Length framing over file descriptors, with bounded headers and bodies, and
// resynchronisation after a frame that cannot be trusted.
#include "tools/qsd/lsp/transport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <optional>

namespace quillshade::qsd::lsp {
namespace {

constexpr std::size_t kMaxHeaderBytes = 8192;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kMaxNesting = 256;     // the protocol's messages need a handful
constexpr std::size_t kMaxLengthDigits = 19;  // fits 64 bits
constexpr std::size_t kMaxBlanks = 16;        // between "Content-Length:" and its number

char LowerByte(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), LowerByte);
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A header's name: the characters an HTTP token may hold.
bool IsHeaderName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
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

// The end of the header block that begins at `from`: just past its empty line; npos
// while the bytes hold no empty line yet.
std::size_t HeaderBlockEnd(std::string_view bytes, std::size_t from) {
  for (std::size_t at = from;;) {
    const std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) return std::string_view::npos;
    if (end == at || (end == at + 1 && bytes[at] == '\r')) return end + 1;
    at = end + 1;
  }
}

}  // namespace

std::size_t FindFrameStart(std::string_view bytes, std::size_t from, std::size_t& resumeAt) {
  constexpr std::string_view kName = "content-length:";
  for (std::size_t at = from; at < bytes.size(); ++at) {
    if (LowerByte(bytes[at]) != 'c') continue;
    std::size_t next = at;
    std::size_t matched = 0;
    while (matched < kName.size() && next < bytes.size() && LowerByte(bytes[next]) == kName[matched]) ++matched, ++next;
    if (matched < kName.size()) {
      if (next == bytes.size()) return resumeAt = at, std::string_view::npos;
      continue;
    }
    std::size_t blanks = 0;
    while (next < bytes.size() && (bytes[next] == ' ' || bytes[next] == '\t') && blanks <= kMaxBlanks) ++next, ++blanks;
    std::size_t digits = 0;
    while (next < bytes.size() && IsDigit(bytes[next]) && digits <= kMaxLengthDigits) ++next, ++digits;
    if (next == bytes.size()) return resumeAt = at, std::string_view::npos;
    if (blanks <= kMaxBlanks && digits > 0 && digits <= kMaxLengthDigits && (bytes[next] == '\r' || bytes[next] == '\n'))
      return at;
  }
  resumeAt = std::max(from, bytes.size());
  return std::string_view::npos;
}

bool MessageReader::Fill() {
  if (at_ > 0) {
    buffer_.erase(0, at_);
    at_ = 0;
  }
  if (fd_ < 0) return false;
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

bool MessageReader::Resync(std::size_t skip) {
  for (;;) {
    std::size_t resumeAt = 0;
    const std::size_t found = FindFrameStart(std::string_view(buffer_).substr(at_), skip, resumeAt);
    if (found != std::string_view::npos) {
      at_ += found;
      return true;
    }
    // Only a frame start that may still be finishing is kept: memory stays bounded
    // however much there is to pass over.
    at_ += resumeAt;
    skip = 0;
    if (!Fill()) {
      at_ = buffer_.size();
      return false;
    }
  }
}

Incoming MessageReader::Untrusted(std::string problem, std::size_t skip) {
  Resync(skip);
  return Malformed(std::move(problem) + ": passed over up to the next message");
}

Incoming MessageReader::Read() {
  // Line breaks between messages are harmless.
  for (;;) {
    while (at_ < buffer_.size() && (buffer_[at_] == '\r' || buffer_[at_] == '\n')) ++at_;
    if (at_ < buffer_.size()) break;
    if (!Fill()) return Incoming{};
  }
  std::size_t headerEnd = 0;  // relative to at_, like every offset below
  while ((headerEnd = HeaderBlockEnd(std::string_view(buffer_).substr(at_), 0)) == std::string_view::npos) {
    if (buffer_.size() - at_ > kMaxHeaderBytes)
      return Untrusted("a header block longer than " + std::to_string(kMaxHeaderBytes) + " bytes", 1);
    if (!Fill()) {
      at_ = buffer_.size();
      return Malformed("the input ended inside a message's header");
    }
  }
  if (headerEnd > kMaxHeaderBytes)
    return Untrusted("a header block longer than " + std::to_string(kMaxHeaderBytes) + " bytes", 1);

  std::optional<std::uint64_t> length;
  std::string bodyFault;  // the frame is sound, but its body is not for us
  const std::string_view block = std::string_view(buffer_).substr(at_, headerEnd);
  for (std::size_t lineStart = 0; lineStart < block.size();) {
    const std::size_t lineEnd = block.find('\n', lineStart);
    std::string_view line = block.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return Untrusted("a header line without ':'", 1);
    const std::string_view rawName = line.substr(0, colon);
    if (!IsHeaderName(rawName)) return Untrusted("a header line that names no header", 1);
    const std::string name = Lower(rawName);
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (name == "content-length") {
      if (value.empty() || value.size() > kMaxLengthDigits || !std::all_of(value.begin(), value.end(), IsDigit))
        return Untrusted("a Content-Length that is not a number", 1);
      length = std::stoull(std::string(value));
    } else if (name == "content-type") {
      const std::string type = Lower(value);
      if (type.find("charset") != std::string::npos && type.find("utf-8") == std::string::npos &&
          type.find("utf8") == std::string::npos)
        bodyFault = "a Content-Type that is not UTF-8";
    }
    // Other headers mean nothing to this server and are passed over.
  }
  if (!length) return Untrusted("a message without a Content-Length header", 1);
  if (*length > kMaxMessageBytes) {
    // Refused at once, never allocated: the body is passed over as it streams by.
    at_ += headerEnd;
    return Untrusted("a message of " + std::to_string(*length) + " bytes, more than the " +
                         std::to_string(kMaxMessageBytes >> 20) + " MiB a message may have",
                     0);
  }

  // The body: a next frame's header inside it means it was cut short.
  const std::size_t bodyEnd = headerEnd + static_cast<std::size_t>(*length);
  std::size_t scanFrom = headerEnd;
  for (;;) {
    std::size_t resumeAt = 0;
    const std::size_t found = FindFrameStart(std::string_view(buffer_).substr(at_), scanFrom, resumeAt);
    if (found != std::string_view::npos && found < bodyEnd) {
      at_ += found;
      return Malformed("a message shorter than its Content-Length: the next one began inside it");
    }
    const std::size_t undecided = found != std::string_view::npos ? found : resumeAt;
    if (buffer_.size() - at_ >= bodyEnd && undecided >= bodyEnd) break;
    scanFrom = std::min(undecided, bodyEnd);
    if (!Fill()) {
      at_ = buffer_.size();
      return Malformed("the input ended inside a message's body");
    }
  }
  const std::string body = buffer_.substr(at_ + headerEnd, bodyEnd - headerEnd);
  at_ += bodyEnd;
  if (!bodyFault.empty()) return Malformed(bodyFault);
  if (NestedDeeperThan(body, kMaxNesting))
    return Incoming{Incoming::Kind::NotJson, {}, "a message nested deeper than " + std::to_string(kMaxNesting) + " levels"};
  Json message = Json::parse(body, nullptr, false);
  if (message.is_discarded()) return Incoming{Incoming::Kind::NotJson, {}, "a message body that is not JSON"};
  return Incoming{Incoming::Kind::Message, std::move(message), {}};
}

void MessageWriter::Write(const Json& message) { WriteText(message.dump(-1, ' ', false, Json::error_handler_t::replace)); }

void MessageWriter::WriteText(std::string_view body) {
  const std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  const MutexLock lock(mutex_);
  std::fwrite(header.data(), 1, header.size(), out_);
  std::fwrite(body.data(), 1, body.size(), out_);
  std::fflush(out_);
}

}  // namespace quillshade::qsd::lsp
