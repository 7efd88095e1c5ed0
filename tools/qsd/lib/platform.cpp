// What differs between the systems qsd runs on, kept in one place.
#include "tools/qsd/lib/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <system_error>
#include <vector>

namespace quillshade::qsd {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

std::optional<std::filesystem::path> ProgramFolder() {
#ifdef _WIN32
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return std::nullopt;
    if (length < name.size()) return std::filesystem::path(std::wstring(name.data(), length)).parent_path();
    if (name.size() >= 32768) return std::nullopt;  // longer than any path Windows allows
    name.resize(name.size() * 2);
  }
#else
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  return program.parent_path();
#endif
}

std::optional<std::string> WhyNoInteractivePlay() {
#ifdef _WIN32
  // The terminal reader reads keys in a POSIX terminal's raw mode.
  return std::string("interactive play needs a POSIX terminal");
#else
  if (!isatty(STDIN_FILENO)) return std::string("stdin is not a terminal");
  return std::nullopt;
#endif
}

}  // namespace quillshade::qsd
