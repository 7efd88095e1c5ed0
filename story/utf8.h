// UTF-16 story text to and from UTF-8, for the edges: terminal, JSON, the toolkit's files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillshade {

// An unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// Nothing when the bytes are not well-formed UTF-8.
std::optional<std::u16string> FromUtf8(std::string_view bytes);

}  // namespace quillshade
