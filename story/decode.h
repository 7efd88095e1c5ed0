// Story file text to story text: tokens of decimal character codes to characters.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "story/code_page.h"

namespace quillshade {

// Positions in a story are 32-bit and 1-based, and the step after the last line returns
// its length + 1, so a story may hold one code unit fewer than the largest 32-bit value.
inline constexpr std::size_t kMaxStoryLength = std::numeric_limits<std::int32_t>::max() - 1;

// Why a token added nothing.
enum class TokenFault {
  NotANumber,   // letters, a line break between digits, a lone sign, ...
  OutOfRange,   // beyond signed 32 bits
  NoCharacter,  // a number, but no character of the code page
};

// A token that added nothing: where it starts in the file (0-based byte offset) and
// how many bytes it has. Empty tokens and tokens of line breaks alone are not faults.
struct BadToken {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  TokenFault fault = TokenFault::NotANumber;
  bool operator==(const BadToken&) const = default;
};

// Decodes a story file fed in pieces of any size, so a file is never held whole.
// Tokens are separated by the space character only; tab, CR and LF at either end of a
// token are ignored, and a token is an optional sign and decimal digits.
class CodeDecoder {
 public:
  CodeDecoder(const CodePage& page, std::u16string& out, std::size_t maxLength = kMaxStoryLength);
  ~CodeDecoder();
  CodeDecoder(const CodeDecoder&) = delete;
  CodeDecoder& operator=(const CodeDecoder&) = delete;

  void Feed(std::string_view bytes);
  // Ends the last token; call once after the last Feed.
  void Finish();

  // Set when the text would grow past maxLength; nothing more is appended then.
  bool TooLong() const { return tooLong_; }
  // Called for every token that is not empty and adds nothing.
  std::function<void(const BadToken&)> onBadToken;

 private:
  enum class State : std::uint8_t { Start, Sign, Digits, Trailing, Invalid };
  // Reads the common tokens from p on in one go; answers where it stopped.
  const char* ReadShortTokens(const char* p, const char* end, std::uint64_t pOffset);
  // One byte through the token state machine, for every token the fast path leaves.
  void Step(char c, std::uint64_t at);
  void EndToken(std::uint64_t endOffset);
  void AddCode(bool negative, std::uint64_t magnitude, std::uint64_t endOffset);
  void ReportBadToken(const BadToken& bad);
  void Flush();

  const CodePage& page_;
  std::u16string& out_;
  std::size_t maxLength_;
  bool tooLong_ = false;
  State state_ = State::Start;
  bool negative_ = false;
  bool blank_ = true;  // only tab, CR, LF so far
  std::uint64_t magnitude_ = 0;
  std::uint64_t offset_ = 0;       // bytes fed so far
  std::uint64_t tokenStart_ = 0;
  // Characters gather here and reach `out` a block at a time, at the latest when Feed or
  // Finish returns: appending one by one would cost more than decoding them.
  static constexpr std::size_t kPendingSize = 1024;
  std::size_t pendingCount_ = 0;
  char16_t pending_[kPendingSize];
  // Tokens decoded before, by their bytes; a key of 0 is no token. The cache grows with
  // the input, so a short story never pays for the room a long one needs.
  struct CachedToken {
    std::uint64_t key = 0;
    char16_t character = 0;
  };
  void GrowCache(std::uint64_t bytesSeen);
  std::unique_ptr<CachedToken[]> cache_;
  int cacheBits_ = 0;
};

// Decodes a whole story file text held in memory.
std::u16string DecodeCharCodes(std::string_view fileText, const CodePage& page);

}  // namespace quillshade
