// The editor service's wire: JSON-RPC messages framed by a Content-Length header.
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "tools/qsd/lsp/json_rpc.h"

namespace quillshade::qsd::lsp {

// A message's body larger than this is skipped unread (a story of some megabytes fits
// many times over), so one bad header cannot make the server hold gigabytes.
inline constexpr std::size_t kMaxMessageBytes = std::size_t{64} << 20;

struct Incoming {
  enum class Kind {
    Message,   // `message` holds the parsed body
    Malformed, // `problem` says what was wrong (a bad or missing header, a body too large or cut short)
    NotJson,   // the body is no JSON: answered with a parse error
    End,       // the input has ended
  };
  Kind kind = Kind::End;
  Json message;
  std::string problem;
};

// Reads framed messages from a file descriptor. Headers are lines ending in CR LF (a
// bare LF is accepted); the body has exactly Content-Length bytes. A fault in one
// message is reported and reading goes on with the next header, so the server keeps
// serving whatever the client sends.
class MessageReader {
 public:
  explicit MessageReader(int fd) : fd_(fd) {}
  Incoming Read();

 private:
  enum class LineResult { Line, TooLong, End };
  LineResult ReadLine(std::string& line);
  bool Fill();
  bool ReadBody(std::size_t length, std::string& body);
  bool Skip(std::size_t length);

  int fd_;
  std::string buffer_;
  std::size_t at_ = 0;
};

// Writes framed messages, each whole. Only the dispatching thread writes (diagnoses come
// back to it as events); the lock keeps a message whole should another thread write.
class MessageWriter {
 public:
  explicit MessageWriter(std::FILE* out) : out_(out) {}
  void Write(const Json& message);

 private:
  std::FILE* out_;
  std::mutex mutex_;
};

}  // namespace quillshade::qsd::lsp
