// What differs between the systems qsd runs on, kept in one place.
#include "tools/qsd/lib/platform.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quillshade::qsd {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
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
