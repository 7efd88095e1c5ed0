// What each system's file calls give the part of files.h written once (files.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "tools/qsd/lib/result.h"

namespace quillshade::qsd {

// The refusal of an input larger than `maxBytes`.
std::string TooLarge(std::uint64_t maxBytes);

// Read stdin, or the regular file `path`, whole; or why they could not (the words every
// command uses).
Result<std::string> ReadStdin(std::uint64_t maxBytes);
Result<std::string> ReadRegularFile(const std::string& path, std::uint64_t maxBytes);

}  // namespace quillshade::qsd
