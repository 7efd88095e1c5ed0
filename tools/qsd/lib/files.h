// The toolkit's file edges: whole inputs read safely, outputs written whole or not at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/qsd/lib/result.h"

namespace quillshade::qsd {

// Text sources and story files larger than this are refused rather than read.
inline constexpr std::uint64_t kMaxInputBytes = std::uint64_t{1} << 30;

// Fine when `path` names a regular file; otherwise why it cannot be read, in the words
// every command uses ("no such file", "is a folder, not a file", ...).
Result<void> CheckReadable(const std::string& path);

// Reads a regular file whole, or stdin for "-". Folders, devices and pipes named by
// path are refused before they are opened, so nothing can block or read forever.
Result<std::string> ReadInput(const std::string& path, std::uint64_t maxBytes = kMaxInputBytes);

// An output written piece by piece: stdout for "-", a device or pipe directly, and a
// regular file through a temporary file beside it that Commit renames into place, so
// the file is never half-written, and a failure, or no Commit at all, leaves no
// temporary file behind and an existing file as it was. Each step answers whether it
// failed, and why.
class OutputFile {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)) {}
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  Result<void> Open();
  Result<void> Write(std::string_view bytes);
  Result<void> Commit();

 private:
  void Discard();

  std::string path_;
  std::filesystem::path target_;     // the file a symbolic link names, or path_
  std::filesystem::path temporary_;  // empty unless writing through one
  std::intptr_t handle_ = -1;        // the system's descriptor or handle; -1 when none
  bool toStdout_ = false;            // stdout is never closed here
};

// Writes `bytes` to `path` through an OutputFile, whole or not at all.
Result<void> WriteOutput(const std::string& path, std::string_view bytes);

// A path for messages: "-" is "(stdin)"/"(stdout)" elsewhere; here it stays as given.
std::string DisplayName(const std::string& path);

}  // namespace quillshade::qsd
