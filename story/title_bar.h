// The title bar that shows the story: how many columns a line takes on it.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillshade {

// Columns on the title bar: a character of one byte in code page 932 takes one, every
// other character two (a full-width character, or one the page cannot hold).
std::size_t DisplayWidth(std::u16string_view text);

}  // namespace quillshade
