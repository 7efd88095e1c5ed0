// Reading inputs whole and replacing outputs atomically, through the POSIX calls.
#include "tools/qsd/lib/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/qsd/lib/files_system.h"

namespace quillshade::qsd {
namespace {

constexpr std::string_view kFolder = "is a folder, not a file";

// Reads until end of file or error; refuses to grow past maxBytes.
std::optional<std::string> ReadAll(int fd, std::string& out, std::uint64_t maxBytes) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::string("read error: ") + std::strerror(errno);
    }
    if (got == 0) return std::nullopt;
    if (out.size() + static_cast<std::size_t>(got) > maxBytes) return TooLarge(maxBytes);
    out.append(buffer, static_cast<std::size_t>(got));
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

std::optional<std::string> StatProblem(const std::string& path, struct stat& info) {
  if (::stat(path.c_str(), &info) != 0)
    return errno == ENOENT || errno == ENOTDIR ? std::string("no such file")
                                               : std::string("cannot be opened: ") + std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::string(kFolder);
  if (!S_ISREG(info.st_mode)) return std::string("not a regular file (a device, pipe or socket)");
  return std::nullopt;
}

}  // namespace

Result<void> CheckReadable(const std::string& path) {
  struct stat info {};
  if (auto problem = StatProblem(path, info)) return Failure{*problem};
  return {};
}

Result<std::string> ReadStdin(std::uint64_t maxBytes) {
  std::string bytes;
  if (auto problem = ReadAll(STDIN_FILENO, bytes, maxBytes)) return Failure{*problem};
  return bytes;
}

Result<std::string> ReadRegularFile(const std::string& path, std::uint64_t maxBytes) {
  struct stat info {};
  if (auto problem = StatProblem(path, info)) return Failure{*problem};
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return Failure{TooLarge(maxBytes)};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Failure{std::string("cannot be opened: ") + std::strerror(errno)};
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  auto problem = ReadAll(fd, bytes, maxBytes);
  ::close(fd);
  if (problem) return Failure{*problem};
  return bytes;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (handle_ >= 0 && !toStdout_) ::close(static_cast<int>(handle_));
  handle_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

Result<void> OutputFile::Open() {
  namespace fs = std::filesystem;
  if (path_ == "-") {
    std::fflush(stdout);
    toStdout_ = true;
    handle_ = STDOUT_FILENO;
    return {};
  }
  std::error_code error;
  target_ = path_;
  // Write through a symbolic link to the file it names, not over the link.
  if (fs::is_symlink(fs::symlink_status(target_, error))) target_ = fs::weakly_canonical(target_, error);
  const fs::file_status status = fs::status(target_, error);
  if (fs::exists(status) && fs::is_directory(status)) return Failure{std::string(kFolder)};
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // A device or pipe cannot be replaced; write to it directly.
    handle_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (handle_ < 0) return Failure{std::string("cannot be opened: ") + std::strerror(errno)};
    return {};
  }
  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  std::string temporary = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
  handle_ = ::mkstemp(temporary.data());
  if (handle_ < 0) return Failure{std::string("cannot be created: ") + std::strerror(errno)};
  temporary_ = temporary;
  return {};
}

Result<void> OutputFile::Write(std::string_view bytes) {
  if (handle_ >= 0 && WriteAll(static_cast<int>(handle_), bytes)) return {};
  const int savedErrno = handle_ >= 0 ? errno : EBADF;
  Discard();
  if (toStdout_) return Failure{std::string("cannot write to stdout: ") + std::strerror(savedErrno)};
  return Failure{std::string("write error: ") + std::strerror(savedErrno)};
}

Result<void> OutputFile::Commit() {
  if (temporary_.empty()) {  // stdout, a device or a pipe: written as it came
    Discard();
    return {};
  }
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  const bool synced = ::fsync(fd) == 0;
  const int syncErrno = errno;
  ::close(fd);
  if (!synced) {
    Discard();
    return Failure{std::string("write error: ") + std::strerror(syncErrno)};
  }
  // mkstemp makes the file private; give it the usual permissions of a new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(temporary_.c_str(), 0666 & ~mask);
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int renameErrno = errno;
    Discard();
    return Failure{std::string("cannot be replaced: ") + std::strerror(renameErrno)};
  }
  temporary_.clear();
  return {};
}

}  // namespace quillshade::qsd
