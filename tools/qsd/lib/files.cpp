// The toolkit's file edges that are the same on every system; the system calls are in
// files_posix.cpp and files_windows.cpp.
#include "tools/qsd/lib/files.h"

#include <new>

#include "tools/qsd/lib/files_system.h"

namespace quillshade::qsd {

std::string TooLarge(std::uint64_t maxBytes) {
  return "too large (more than " + std::to_string(maxBytes >> 20) + " MiB)";
}

std::string DisplayName(const std::string& path) { return path == "-" ? "(stdin)" : path; }

Result<std::string> ReadInput(const std::string& path, std::uint64_t maxBytes) {
  // Nothing half-read is handed on: a failure holds no bytes.
  try {
    return path == "-" ? ReadStdin(maxBytes) : ReadRegularFile(path, maxBytes);
  } catch (const std::bad_alloc&) {
    return Failure{"not enough memory to read it"};
  }
}

Result<void> WriteOutput(const std::string& path, std::string_view bytes) {
  OutputFile out(path);
  if (Result<void> opened = out.Open(); !opened.ok()) return opened;
  if (Result<void> written = out.Write(bytes); !written.ok()) return written;
  return out.Commit();
}

}  // namespace quillshade::qsd
