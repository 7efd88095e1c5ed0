// What each system's file calls give the part of files.h written once (files.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quillshade::qsd {

// The refusal of an input larger than `maxBytes`.
std::string TooLarge(std::uint64_t maxBytes);

// Read stdin, or the regular file `path`, whole into `bytes`; each answers why it could
// not (the words every command uses), or nothing.
std::optional<std::string> ReadStdin(std::string& bytes, std::uint64_t maxBytes);
std::optional<std::string> ReadRegularFile(const std::string& path, std::string& bytes, std::uint64_t maxBytes);

}  // namespace quillshade::qsd
