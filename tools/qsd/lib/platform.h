// What differs between the systems qsd runs on, kept in one place.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "tools/qsd/lib/result.h"

namespace quillshade::qsd {

// File names reach the commands as UTF-8 (on Windows, from the wide command line);
// these convert them without passing through the system's ANSI code page.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// The folder of the running program, or nothing when the system does not say.
std::optional<std::filesystem::path> ProgramFolder();
// The graph drawn as svg by Graphviz's `dot` program, run on a temporary file; or why
// it could not be drawn (no `dot` installed, among others).
Result<std::string> RenderSvg(const std::string& dot);

// Fine when keys can be read from a terminal here; otherwise why not (so play needs --keys).
Result<void> CheckInteractivePlay();

}  // namespace quillshade::qsd
