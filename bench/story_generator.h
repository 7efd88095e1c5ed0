// Generated story files for the benchmarks: a long branching novel of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillshade::bench {

// The label of the story's last line; a jump near the start goes there, so a jump
// search has to cross the whole text.
inline constexpr std::u16string_view kLastLabel = u"[LAST]";

// A story file of at least `bytes` bytes (a little more, to finish its last line): lines
// of Japanese text written as double-byte codes, some in their negative form, with
// labelled scenes, flag commands, plain and conditional jumps and choices. The same size
// and seed always give the same file.
std::string GenerateStoryFile(std::size_t bytes, std::uint32_t seed = 1);

}  // namespace quillshade::bench
