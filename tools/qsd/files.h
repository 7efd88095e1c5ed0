// The toolkit's file edges: whole inputs read safely, outputs written whole or not at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillshade::qsd {

// Text sources and story files larger than this are refused rather than read.
inline constexpr std::uint64_t kMaxInputBytes = std::uint64_t{1} << 30;

struct InputFile {
  std::string bytes;
  std::optional<std::string> error;  // why it could not be read, e.g. "no such file"
};

// Why `path` cannot be read as a file, in the words every command uses ("no such
// file", "is a folder, not a file", ...), or nothing when it is a regular file.
std::optional<std::string> FileProblem(const std::string& path);

// Reads a regular file whole, or stdin for "-". Folders, devices and pipes named by
// path are refused before they are opened, so nothing can block or read forever.
InputFile ReadInput(const std::string& path, std::uint64_t maxBytes = kMaxInputBytes);

// Writes `bytes` to `path`, or stdout for "-". A regular file is written through a
// temporary file beside it and renamed into place, so a failure leaves no partial
// file and an existing file untouched. Answers why it failed, or nothing.
std::optional<std::string> WriteOutput(const std::string& path, std::string_view bytes);

// A path for messages: "-" is "(stdin)"/"(stdout)" elsewhere; here it stays as given.
std::string DisplayName(const std::string& path);

}  // namespace quillshade::qsd
