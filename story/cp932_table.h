// The raw tables of code page 932, generated from glibc's converter (see scripts/).
#pragma once

#include <cstdint>

namespace quillshade::cp932 {

// 0xFFFF marks a byte or byte pair that is no character; U+FFFF is never one.
inline constexpr std::uint16_t kNoCharacter = 0xFFFF;

// Lead bytes are 0x81..0x9F and 0xE0..0xFC; trail bytes 0x40..0xFC.
inline constexpr int kLeadCount = 60;
inline constexpr int kTrailCount = 0xFC - 0x40 + 1;

extern const std::uint16_t kSingleByte[256];
extern const std::uint16_t kDoubleByte[kLeadCount][kTrailCount];

}  // namespace quillshade::cp932
