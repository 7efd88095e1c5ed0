// Generated story files for the benchmarks: a long branching novel of any size and shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillshade::bench {

// The label of the story's last line; a jump near the start goes there, so a jump
// search has to cross the whole text.
inline constexpr std::u16string_view kLastLabel = u"[LAST]";

// How the story's characters are written. Short tokens cost per token, not per byte, so
// each shape loads the decoder differently.
enum class StoryShape {
  JapaneseProse,  // double-byte codes of five digits, some negative; one story line per file line
  EnglishProse,   // ASCII codes of two and three digits; one story line per file line
  DenseMix,       // codes of two to five digits mixed, no line breaks in the file at all
};

// "japanese", "english", "dense": the names the benchmark scripts use.
std::string_view ShapeName(StoryShape shape);
std::optional<StoryShape> ShapeNamed(std::string_view name);

// A story file of at least `bytes` bytes (a little more, to finish its last line) in the
// given shape, with labelled scenes, flag commands, plain and conditional jumps and
// choices. The same size, shape and seed always give the same file.
std::string GenerateStoryFile(std::size_t bytes, StoryShape shape = StoryShape::JapaneseProse,
                              std::uint32_t seed = 1);

// The generated Japanese novel as an editor holds it: a text source of its first `lines`
// lines, each ending in LF. Made once per size and kept for the benchmarks that ask again.
const std::u16string& NovelSourceText(std::size_t lines);

}  // namespace quillshade::bench
