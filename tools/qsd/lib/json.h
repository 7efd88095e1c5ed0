// JSON for the toolkit's machine-readable output, through nlohmann's library.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "story/story.h"

namespace quillshade::qsd {

// Objects keep their keys in the order they were written.
using Json = nlohmann::ordered_json;

// Story text as a JSON string (UTF-8; an unpaired surrogate becomes U+FFFD).
Json JsonText(std::u16string_view text);

// Flags as a list of their letters, ["A", "E"], for scripts.
Json FlagList(FlagBits flags);

// JSON on one line with a space after every ':' and ',', as `qsd play --trace` prints it:
// {"key": "d", "flags": [0, -1]}. Control characters are escaped, nothing else is.
std::string SpacedJson(const Json& value);

}  // namespace quillshade::qsd
