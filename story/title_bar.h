// The title bar that shows the story: how many columns a line takes on it.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillshade {

// What the title bar shows of the reader's own: before a story is loaded, and while one loads.
inline constexpr std::u16string_view kStartCaption = u"Quillshade Ver.2.0";
inline constexpr std::u16string_view kLoadingCaption = u"Now Loading...";

// Columns on the title bar: a character of one byte in code page 932 takes one, every
// other character two (a full-width character, or one the page cannot hold).
std::size_t DisplayWidth(std::u16string_view text);

}  // namespace quillshade
