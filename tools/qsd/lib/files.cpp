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

InputFile ReadInput(const std::string& path, std::uint64_t maxBytes) {
  InputFile input;
  try {
    input.error = path == "-" ? ReadStdin(input.bytes, maxBytes) : ReadRegularFile(path, input.bytes, maxBytes);
  } catch (const std::bad_alloc&) {
    input.error = "not enough memory to read it";
  }
  // Nothing half-read is handed on.
  if (input.error) input.bytes.clear();
  return input;
}

std::optional<std::string> WriteOutput(const std::string& path, std::string_view bytes) {
  OutputFile out(path);
  if (auto problem = out.Open()) return problem;
  if (auto problem = out.Write(bytes)) return problem;
  return out.Commit();
}

}  // namespace quillshade::qsd
