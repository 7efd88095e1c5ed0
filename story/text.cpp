// Searches over story text, written to stay fast on texts of hundreds of megabytes.
#include "story/text.h"

#include <algorithm>
#include <bit>
#include <cstring>

// The vector search needs GCC's or Clang's per-function targets and CPU test; other
// compilers (MSVC) take the portable search.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#if !defined(QUILLSHADE_PORTABLE_SCAN)
#define QUILLSHADE_X86_SCAN 1
#include <immintrin.h>
#endif
#endif

namespace quillshade {
namespace {

constexpr std::size_t kNotFound = std::u16string_view::npos;

// Every search here looks for a needle of two or more code units. Candidates are the
// places where both its first and its last unit stand, which real text rarely offers
// together, and only those are compared whole.
bool MatchesAt(const char16_t* at, std::u16string_view needle) {
  return std::memcmp(at, needle.data(), needle.size() * sizeof(char16_t)) == 0;
}

std::size_t FindPortable(std::u16string_view text, std::size_t from, std::u16string_view needle) {
  const std::size_t n = needle.size();
  const char16_t first = needle.front();
  const char16_t last = needle.back();
  for (std::size_t i = from; i + n <= text.size(); ++i)
    if (text[i] == first && text[i + n - 1] == last && MatchesAt(text.data() + i, needle)) return i;
  return kNotFound;
}

#if defined(QUILLSHADE_X86_SCAN)

// Eight places at a time; each place that holds a candidate sets two bits of the mask.
std::size_t FindSse2(std::u16string_view text, std::size_t from, std::u16string_view needle) {
  const std::size_t n = needle.size();
  const char16_t* const data = text.data();
  const __m128i first = _mm_set1_epi16(static_cast<short>(needle.front()));
  const __m128i last = _mm_set1_epi16(static_cast<short>(needle.back()));
  std::size_t i = from;
  for (; i + n - 1 + 8 <= text.size(); i += 8) {
    const __m128i atFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i atLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + n - 1));
    auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(atFirst, first), _mm_cmpeq_epi16(atLast, last))));
    for (; mask != 0; mask &= mask - 1, mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
      if (MatchesAt(data + at, needle)) return at;
    }
  }
  return FindPortable(text, i, needle);
}

// Sixty-four places at a time, with one test for all of them: the pace of the memory.
__attribute__((target("avx2"))) std::size_t FindAvx2(std::u16string_view text, std::size_t from,
                                                      std::u16string_view needle) {
  constexpr std::size_t kStep = 64;
  const std::size_t n = needle.size();
  const char16_t* const data = text.data();
  const __m256i first = _mm256_set1_epi16(static_cast<short>(needle.front()));
  const __m256i last = _mm256_set1_epi16(static_cast<short>(needle.back()));
  std::size_t i = from;
  for (; i + n - 1 + kStep <= text.size(); i += kStep) {
    __m256i found[4];
    for (int part = 0; part < 4; ++part) {
      const char16_t* const atFirst = data + i + 16 * part;
      const __m256i firstHere = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(atFirst));
      const __m256i lastHere = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(atFirst + n - 1));
      found[part] = _mm256_and_si256(_mm256_cmpeq_epi16(firstHere, first), _mm256_cmpeq_epi16(lastHere, last));
    }
    const __m256i any = _mm256_or_si256(_mm256_or_si256(found[0], found[1]), _mm256_or_si256(found[2], found[3]));
    if (_mm256_testz_si256(any, any)) continue;
    for (int part = 0; part < 4; ++part) {
      auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(found[part]));
      for (; mask != 0; mask &= mask - 1, mask &= mask - 1) {
        const std::size_t at = i + 16 * static_cast<std::size_t>(part) + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
        if (MatchesAt(data + at, needle)) return at;
      }
    }
  }
  return FindSse2(text, i, needle);
}

#endif

// The 0-based index of the first occurrence of `needle` (two units or more) at or
// after `from`, or kNotFound.
std::size_t FindUnits(std::u16string_view text, std::size_t from, std::u16string_view needle) {
  if (from > text.size() || text.size() - from < needle.size()) return kNotFound;
#if defined(QUILLSHADE_X86_SCAN)
  if (__builtin_cpu_supports("avx2")) return FindAvx2(text, from, needle);
  return FindSse2(text, from, needle);
#else
  return FindPortable(text, from, needle);
#endif
}

}  // namespace

std::size_t FindLineBreak(std::u16string_view text, std::size_t from) {
  // Many lines are short: the first units are looked at one by one, before the search
  // that reads many at once but costs more to begin.
  constexpr std::size_t kNear = 16;
  const std::size_t near = std::min(text.size(), from + kNear);
  for (std::size_t at = from; at + 1 < near; ++at)
    if (text[at] == u'\r' && text[at + 1] == u'\n') return at;
  if (near == text.size()) return kNotFound;
  return FindUnits(text, near - 1, u"\r\n");
}

std::int32_t FindLabelLine(std::u16string_view text, std::u16string_view lineStart) {
  // The first CR LF directly followed by the label is the first place of the two together.
  std::u16string needle(u"\r\n");
  needle += lineStart;
  const std::size_t at = FindUnits(text, 0, needle);
  return at == kNotFound ? 0 : static_cast<std::int32_t>(at + 1);
}

std::u16string UpperAscii(std::u16string_view text) {
  std::u16string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char16_t c) { return UpperAscii(c); });
  return upper;
}

bool IsJumpLanding(std::u16string_view text, std::int32_t readPos) {
  if (readPos <= 0) return false;
  const auto at = static_cast<std::size_t>(readPos) - 1;
  return at + 1 < text.size() && text[at] == u'\r' && text[at + 1] == u'\n';
}

std::int32_t LabelLineStart(std::int32_t labelLine) { return labelLine + 2; }

std::int32_t ChoiceResumePos(std::int32_t labelLine, std::size_t labelLength) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(LabelLineStart(labelLine)) +
                                   static_cast<std::int64_t>(labelLength));
}

LabelReach ReachOf(std::u16string_view text, std::int32_t labelLine) {
  if (labelLine <= 0) return LabelReach::Missing;
  const auto lineStart = static_cast<std::size_t>(LabelLineStart(labelLine)) - 1;
  return FindLineBreak(text, lineStart) == kNotFound ? LabelReach::Unbroken : LabelReach::Shown;
}

}  // namespace quillshade
