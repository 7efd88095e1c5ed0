// The editor service's wire: JSON-RPC messages framed by a Content-Length header.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "story/thread_annotations.h"
#include "tools/qsd/lsp/json_rpc.h"

namespace quillshade::qsd::lsp {

// A message's body larger than this is never held (a story of some megabytes fits many
// times over), so one bad header cannot make the server hold gigabytes.
inline constexpr std::size_t kMaxMessageBytes = std::size_t{64} << 20;

struct Incoming {
  enum class Kind {
    Message,   // `message` holds the parsed body
    Malformed, // `problem` says what was wrong (a bad header, a body cut short...)
    NotJson,   // the body is no JSON: answered with a parse error
    End,       // the input has ended
  };
  Kind kind = Kind::End;
  Json message;
  std::string problem;
};

// Where the next frame's header begins in `bytes`, from `from` on: a Content-Length
// line with a number, which no JSON body can hold (a string holds no raw line break,
// and outside strings JSON has no such word). npos when there is none, and then
// `resumeAt` is where a line that the bytes cut off may begin (or their end).
std::size_t FindFrameStart(std::string_view bytes, std::size_t from, std::size_t& resumeAt);

// Reads framed messages from a file descriptor. Headers are lines ending in CR LF (a
// bare LF is accepted); the body has exactly Content-Length bytes.
//
// A frame that cannot be trusted (a header block without a usable Content-Length, one
// too long, a length past kMaxMessageBytes, a body that holds the next frame's header
// because it was shorter than its length said) is reported as Malformed, and reading
// resynchronises: it passes over bytes until the next Content-Length line and reads the
// frame that begins there. Only the bad frame is lost, memory stays bounded, and the
// server never waits for bytes that a well-formed frame after the bad one has already
// supplied. A body longer than its length leaves its tail in front of the next header,
// which is such an untrusted header block. Nothing here needs the server to exit: the
// stream is always recoverable at the next frame, or has ended.
class MessageReader {
 public:
  explicit MessageReader(int fd) : fd_(fd) {}
  // Reads these bytes and then ends, as a closed input would.
  explicit MessageReader(std::string bytes) : fd_(-1), buffer_(std::move(bytes)) {}
  Incoming Read();

 private:
  bool Fill();
  // Passes over bytes up to the next frame's header, from `at_ + skip`; false at the end.
  bool Resync(std::size_t skip);
  Incoming Untrusted(std::string problem, std::size_t skip);

  int fd_;
  std::string buffer_;
  std::size_t at_ = 0;  // the first byte not yet taken
};

// Writes framed messages, each whole. Only the dispatching thread writes (diagnoses come
// back to it as events); the lock keeps a message whole should another thread write.
class MessageWriter {
 public:
  explicit MessageWriter(std::FILE* out) : out_(out) {}
  void Write(const Json& message);
  void WriteText(std::string_view message);  // a message already written as JSON text

 private:
  Mutex mutex_;
  std::FILE* out_ GUARDED_BY(mutex_);
};

}  // namespace quillshade::qsd::lsp
