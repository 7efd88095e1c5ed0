// JSON text for the toolkit's machine-readable output.
#pragma once

#include <string>
#include <string_view>

namespace quillshade::qsd {

// A JSON string literal, quotes included, in UTF-8. Control characters are escaped
// (\r, \n, \t, \u0000 ...), and so is an unpaired surrogate, so any story text survives.
std::string JsonString(std::u16string_view text);

}  // namespace quillshade::qsd
