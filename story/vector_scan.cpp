// Vector scans of story text and story file bytes, each with its portable fallback.
#include "story/vector_scan.h"

// The vector search needs GCC's or Clang's per-function targets and CPU test; other
// compilers (MSVC) take the portable search. QUILLSHADE_PORTABLE_SCAN builds the
// fallbacks alone, as on a processor without the vector kinds, so the tests check both.
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

}  // namespace

std::size_t FindUnits(std::u16string_view text, std::size_t from, std::u16string_view needle) {
  if (from > text.size() || text.size() - from < needle.size()) return kNotFound;
#if defined(QUILLSHADE_X86_SCAN)
  if (__builtin_cpu_supports("avx2")) return FindAvx2(text, from, needle);
  return FindSse2(text, from, needle);
#else
  return FindPortable(text, from, needle);
#endif
}


// Bit i set where p[i] is a space, for the 64 bytes from p.
std::uint64_t SpaceMask(const char* p) {
#if defined(QUILLSHADE_X86_SCAN)
  const __m128i space = _mm_set1_epi8(' ');
  std::uint64_t mask = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
    const auto bits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, space)));
    mask |= static_cast<std::uint64_t>(bits) << (16 * part);
  }
  return mask;
#else
  // Each byte is tested exactly (no carry crosses into the next byte), then the eight
  // flags of a word are gathered into one byte by a multiplication.
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  std::uint64_t mask = 0;
  for (int word = 0; word < 8; ++word) {
    const std::uint64_t w = LoadLittleEndian(p + 8 * word) ^ 0x2020202020202020ULL;
    const std::uint64_t isSpace = ~(((w & kLow7) + kLow7) | w | kLow7);
    mask |= ((isSpace * 0x0002040810204081ULL) >> 56) << (8 * word);
  }
  return mask;
#endif
}

}  // namespace quillshade
