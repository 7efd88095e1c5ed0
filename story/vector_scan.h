// The two scans that read many bytes or units at once: with the processor's vector
// instructions where it has them, in plain C++ where it has none. The only file of the
// engine that includes more than the standard library.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quillshade {

// The 0-based index of the first occurrence of `needle` (two units or more) at or after
// `from`, or npos.
std::size_t FindUnits(std::u16string_view text, std::size_t from, std::u16string_view needle);

// Bit i set where p[i] is a space, for the 64 bytes from p.
std::uint64_t SpaceMask(const char* p);

// The eight bytes from p as a number whose lowest byte is p[0], on any processor.
inline std::uint64_t LoadLittleEndian(const char* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    std::uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i, word >>= 8) swapped = (swapped << 8) | (word & 0xFF);
    word = swapped;
  }
  return word;
}

}  // namespace quillshade
