// Where a finding stands in its line as the file holds it, in UTF-16 units and on an editor's screen.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/qsd/lib/check.h"

namespace quillshade::qsd {

// Columns an editor's screen gives a character: two for an East Asian wide or full-width
// character (as Unicode's East Asian Width names them, an emoji among them), none for a
// combining mark or a zero-width character, one for any other.
std::size_t ScreenWidth(char32_t character);

// The screen column (from 1) at which the unit `at` of a line stands: each character as
// ScreenWidth counts it, a tab to the next multiple of 8, as compilers and the editors
// that read their messages count.
std::int64_t ScreenColumn(std::u16string_view line, std::size_t at);

// Moves each finding's column and length from the units of the story text, where a
// character the page cannot hold is one "?" whatever its length, to the UTF-16 units of
// the line as the source holds it (`replaced`: those characters, in the order of the
// text), and sets its screen column.
void PlaceInSource(std::u16string_view storyText, const std::vector<Unencodable>& replaced,
                   const std::vector<Diagnostic*>& diagnostics);

}  // namespace quillshade::qsd
