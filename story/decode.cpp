// The token state machine behind CodeDecoder.
#include "story/decode.h"

namespace quillshade {
namespace {

// Past this the value is out of signed 32-bit range whatever its sign; keeping the
// magnitude capped lets a token of a billion digits be scanned without overflow.
constexpr std::uint64_t kMagnitudeCap = 2147483649ULL;

bool IsEdgeWhite(char c) { return c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

CodeDecoder::CodeDecoder(const CodePage& page, std::u16string& out, std::size_t maxLength)
    : page_(page), out_(out), maxLength_(maxLength) {}

void CodeDecoder::Feed(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == ' ') {
      EndToken(offset_ + i);
      tokenStart_ = offset_ + i + 1;
      continue;
    }
    if (c >= '0' && c <= '9') {
      blank_ = false;
      if (state_ == State::Start || state_ == State::Sign || state_ == State::Digits) {
        state_ = State::Digits;
        if (magnitude_ < kMagnitudeCap) magnitude_ = magnitude_ * 10 + static_cast<std::uint64_t>(c - '0');
      } else {
        state_ = State::Invalid;
      }
    } else if (IsEdgeWhite(c)) {
      if (state_ == State::Digits) state_ = State::Trailing;
      else if (state_ == State::Sign) state_ = State::Invalid;
    } else {
      blank_ = false;
      if (state_ == State::Start && (c == '-' || c == '+')) {
        state_ = State::Sign;
        negative_ = c == '-';
      } else {
        state_ = State::Invalid;
      }
    }
  }
  offset_ += bytes.size();
}

void CodeDecoder::Finish() {
  EndToken(offset_);
  tokenStart_ = offset_;
}

void CodeDecoder::EndToken(std::uint64_t endOffset) {
  const State state = state_;
  const bool negative = negative_;
  const std::uint64_t magnitude = magnitude_;
  const bool blank = blank_;
  state_ = State::Start;
  negative_ = false;
  magnitude_ = 0;
  blank_ = true;
  if (blank) return;  // empty, or line breaks alone: not a fault, adds nothing

  TokenFault fault = TokenFault::NotANumber;
  if (state == State::Digits || state == State::Trailing) {
    const std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    if (magnitude > limit) {
      fault = TokenFault::OutOfRange;
    } else {
      const auto code = static_cast<std::int64_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                                            : static_cast<std::int64_t>(magnitude));
      if (const auto character = CharacterOfCode(page_, static_cast<std::int32_t>(code))) {
        if (out_.size() >= maxLength_) {
          tooLong_ = true;
        } else {
          out_.push_back(*character);
        }
        return;
      }
      fault = TokenFault::NoCharacter;
    }
  }
  if (onBadToken) onBadToken(BadToken{tokenStart_, endOffset - tokenStart_, fault});
}

std::u16string DecodeCharCodes(std::string_view fileText, const CodePage& page) {
  std::u16string text;
  CodeDecoder decoder(page, text);
  decoder.Feed(fileText);
  decoder.Finish();
  return text;
}

}  // namespace quillshade
