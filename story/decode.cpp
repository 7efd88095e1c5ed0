// The token state machine behind CodeDecoder, with a fast path for the common token.
#include "story/decode.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "story/vector_scan.h"

namespace quillshade {
namespace {

// Past this the value is out of signed 32-bit range whatever its sign; keeping the
// magnitude capped lets a token of a billion digits be scanned without overflow.
constexpr std::uint64_t kMagnitudeCap = 2147483649ULL;

// The fast path looks for spaces in blocks of 64 bytes, and reads eight bytes after a
// token's sign, which may lie at the end of the block.
constexpr std::ptrdiff_t kBlockSize = 64;
constexpr std::ptrdiff_t kBlockReach = kBlockSize + 16;

bool IsEdgeWhite(char c) { return c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Ones in the top bit of each byte of `values` (bytes minus '0') that is not a digit:
// digits become 0..9 and adding 0x76 sets the top bit of every other value; a carry only
// moves past a byte that is not a digit, so the first one is always marked.
std::uint64_t NotDigits(std::uint64_t values) {
  return ((values + 0x7676767676767676ULL) | values) & 0x8080808080808080ULL;
}

// The value of the digits at the top of `digits` (bytes 0..9, the first digit in the
// lowest of them, zeros below it): combined pairwise, then by fours.
std::uint64_t DigitsValue(std::uint64_t digits) {
  std::uint64_t v = digits & 0x0F0F0F0F0F0F0F0FULL;
  v = (v * 10) + (v >> 8);
  return (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
          (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >> 32;
}

const char* SkipDigits(const char* p, const char* end) {
  while (end - p >= 8 && NotDigits(LoadLittleEndian(p) ^ 0x3030303030303030ULL) == 0) p += 8;
  while (p < end && IsDigit(*p)) ++p;
  return p;
}

}  // namespace

CodeDecoder::CodeDecoder(const CodePage& page, std::u16string& out, std::size_t maxLength)
    : page_(page), out_(out), maxLength_(maxLength) {}

CodeDecoder::~CodeDecoder() = default;

void CodeDecoder::Feed(std::string_view bytes) {
  const char* const begin = bytes.data();
  const char* const end = begin + bytes.size();
  const char* p = begin;
  const auto offsetOf = [&](const char* at) { return offset_ + static_cast<std::uint64_t>(at - begin); };
  while (p < end) {
    // Right after a space (nothing of the token seen yet) the fast path may take over.
    if (state_ == State::Start && tokenStart_ == offsetOf(p)) {
      GrowCache(offset_ + bytes.size());
      p = ReadShortTokens(p, end, offsetOf(p));
      if (p == end) break;
    }
    // The state machine, byte by byte, up to and including the next space.
    while (p < end) {
      // Once a number is out of range only where its digits end matters, and once a
      // token is known to be invalid only where it ends.
      if (state_ == State::Digits && magnitude_ >= kMagnitudeCap) {
        p = SkipDigits(p, end);
        if (p == end) break;
      } else if (state_ == State::Invalid) {
        const void* const space = std::memchr(p, ' ', static_cast<std::size_t>(end - p));
        p = space ? static_cast<const char*>(space) : end;
        if (p == end) break;
      }
      const char c = *p;
      Step(c, offsetOf(p));
      ++p;
      if (c == ' ') break;
    }
  }
  offset_ += bytes.size();
  Flush();
}

// One entry for every 64 bytes seen, from 8 KiB up to 1 MiB of entries: a story uses a
// few thousand codes over and over, a dense mix of every kind of code some ten thousand,
// and a cache that holds them all a few times over keeps them apart.
void CodeDecoder::GrowCache(std::uint64_t bytesSeen) {
  constexpr int kLeastBits = 9;
  constexpr int kMostBits = 16;
  const int bits = std::clamp(static_cast<int>(std::bit_width(bytesSeen / 64)), kLeastBits, kMostBits);
  if (bits <= cacheBits_) return;
  cache_ = std::make_unique<CachedToken[]>(std::size_t{1} << bits);
  cacheBits_ = bits;
}

const char* CodeDecoder::ReadShortTokens(const char* p, const char* end, std::uint64_t pOffset) {
  const char* const first = p;
  const char* token = p;
  // Locals, so that the loop keeps them in registers.
  const char16_t* const characterOf = page_.characterOf.data();
  char16_t* const pending = pending_;
  CachedToken* const cache = cache_.get();
  const int cacheShift = 64 - cacheBits_;
  std::size_t count = pendingCount_;
  // Spaces are found 64 bytes at a time, so where a token ends does not depend on the
  // token before it, and tokens are read independently of one another.
  for (const char* block = p; end - block >= kBlockReach && block - token <= kBlockSize; block += kBlockSize) {
    // Room for every token the block can hold, so that no token needs to ask.
    if (count > kPendingSize - kBlockSize) {
      pendingCount_ = count;
      Flush();
      count = 0;
    }
    for (std::uint64_t spaces = SpaceMask(block); spaces != 0; spaces &= spaces - 1) {
      const char* const space = block + std::countr_zero(spaces);
      const auto length = static_cast<std::size_t>(space - token);
      // A story uses a few thousand codes over and over: a token of up to seven bytes
      // seen before is looked up whole, its bytes and length as the key.
      const bool cacheable = length - 1 < 7;
      const std::uint64_t key = (LoadLittleEndian(token) << ((8 - length) * 8 & 63)) | length;
      CachedToken& cached = cache[(key * 0x9E3779B97F4A7C15ULL) >> cacheShift];
      if (cacheable && cached.key == key) {
        pending[count++] = cached.character;
        token = space + 1;
        continue;
      }
      // A sign or none, then one to eight digits; all of it is worked out without a
      // branch, since signs and lengths vary from token to token without a pattern.
      const bool negative = *token == '-';
      const std::size_t signLength = static_cast<std::size_t>(negative) | static_cast<std::size_t>(*token == '+');
      const std::size_t digitCount = length - signLength;
      const bool shortNumber = digitCount - 1 < 8;
      const auto shift = static_cast<unsigned>((8 - digitCount) * 8) & 63;
      // The bytes after the token leave the word at the top, and zeros come in below.
      const std::uint64_t digits = (LoadLittleEndian(token + signLength) ^ 0x3030303030303030ULL) << shift;
      const bool allDigits = NotDigits(digits) == 0;
      const std::uint64_t magnitude = DigitsValue(digits);
      // -32768..-1 share the slots of 32768..65535: the magnitude negated in 16 bits.
      const std::uint64_t minus = 0 - static_cast<std::uint64_t>(negative);
      const bool inRange = magnitude <= 65535U - (minus & 32767U);
      const auto slot = static_cast<std::uint16_t>((magnitude ^ minus) - minus);
      const char16_t character = characterOf[slot];
      if (shortNumber & allDigits & inRange & (character != CodePage::kNoCharacter)) {
        if (cacheable) cached = CachedToken{key, character};
        pending[count++] = character;
        token = space + 1;
        continue;
      }
      // Any other token, line breaks at its ends included, takes the state machine. What
      // it makes of a token depends on the token's bytes alone, so a token that gave one
      // character (a code after a line break, say) is remembered like any other.
      pendingCount_ = count;
      tokenStart_ = pOffset + static_cast<std::uint64_t>(token - first);
      for (const char* q = token; q <= space; ++q) Step(*q, pOffset + static_cast<std::uint64_t>(q - first));
      if (cacheable && pendingCount_ == count + 1) cached = CachedToken{key, pending[count]};
      count = pendingCount_;
      token = space + 1;
    }
  }
  pendingCount_ = count;
  tokenStart_ = pOffset + static_cast<std::uint64_t>(token - first);
  return token;
}

void CodeDecoder::Step(char c, std::uint64_t at) {
  if (c == ' ') {
    EndToken(at);
    tokenStart_ = at + 1;
    return;
  }
  if (IsDigit(c)) {
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

void CodeDecoder::Finish() {
  EndToken(offset_);
  tokenStart_ = offset_;
  Flush();
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
  if (state == State::Digits || state == State::Trailing) {
    AddCode(negative, magnitude, endOffset);
  } else {
    ReportBadToken(BadToken{tokenStart_, endOffset - tokenStart_, TokenFault::NotANumber});
  }
}

void CodeDecoder::AddCode(bool negative, std::uint64_t magnitude, std::uint64_t endOffset) {
  TokenFault fault = TokenFault::OutOfRange;
  if (magnitude <= (negative ? 2147483648ULL : 2147483647ULL)) {
    const auto code = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (const auto character = CharacterOfCode(page_, static_cast<std::int32_t>(code))) {
      pending_[pendingCount_++] = *character;
      if (pendingCount_ == kPendingSize) Flush();
      return;
    }
    fault = TokenFault::NoCharacter;
  }
  ReportBadToken(BadToken{tokenStart_, endOffset - tokenStart_, fault});
}

// The text is brought up to date first, so a listener sees every character before the
// bad token.
void CodeDecoder::ReportBadToken(const BadToken& bad) {
  if (!onBadToken) return;
  Flush();
  onBadToken(bad);
}

// Past maxLength nothing more is appended, and the decoder says it is too long.
void CodeDecoder::Flush() {
  const std::size_t room = maxLength_ - std::min(maxLength_, out_.size());
  if (pendingCount_ > room) {
    tooLong_ = true;
    pendingCount_ = room;
  }
  out_.append(pending_, pendingCount_);
  pendingCount_ = 0;
}

std::u16string DecodeCharCodes(std::string_view fileText, const CodePage& page) {
  std::u16string text;
  // Every code takes two bytes at least ("0 "): room for all of them means the text is
  // never copied as it grows, and pages of the room that stay unused are never touched.
  text.reserve(std::min(fileText.size() / 2 + 1, kMaxStoryLength));
  CodeDecoder decoder(page, text);
  decoder.Feed(fileText);
  decoder.Finish();
  return text;
}

}  // namespace quillshade
