// Reading inputs whole and replacing outputs atomically, through the Windows calls:
// paths arrive as UTF-8 and reach the system as wide strings, so every file name works.
#include "tools/qsd/lib/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "tools/qsd/lib/files_system.h"
#include "tools/qsd/lib/platform.h"

namespace quillshade::qsd {
namespace {

std::string Problem(std::string_view what, DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
    return "no such file";
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
    return std::string(what) + ": permission denied or in use";
  return std::string(what) + ": Windows error " + std::to_string(error);
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (Valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::optional<std::string> ReadAll(HANDLE file, std::string& out, std::uint64_t maxBytes) {
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return std::nullopt;
      return "read error: Windows error " + std::to_string(error);
    }
    if (got == 0) return std::nullopt;
    if (out.size() + got > maxBytes) return TooLarge(maxBytes);
    out.append(buffer, got);
  }
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD put = 0;
    if (!WriteFile(file, bytes.data(), chunk, &put, nullptr)) return false;
    bytes.remove_prefix(put);
  }
  return true;
}

constexpr std::string_view kNotRegular = "not a regular file (a device, pipe or socket)";

// Why the file cannot be read, in the words of the Linux qsd, or nothing; gives its size.
std::optional<std::string> AttributeProblem(const std::wstring& name, std::uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &info)) return Problem("cannot be opened", GetLastError());
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::string("is a folder, not a file");
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return std::string(kNotRegular);
  size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return std::nullopt;
}

}  // namespace

Result<void> CheckReadable(const std::string& path) {
  const std::wstring name = PathFromUtf8(path).wstring();
  std::uint64_t size = 0;
  if (auto problem = AttributeProblem(name, size)) return Failure{*problem};
  // Opened without asking to read, only to learn what kind of file it is.
  const Handle file(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return Failure{Problem("cannot be opened", GetLastError())};
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) return Failure{std::string(kNotRegular)};
  return {};
}

Result<std::string> ReadStdin(std::uint64_t maxBytes) {
  std::string bytes;
  if (auto problem = ReadAll(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin))), bytes, maxBytes))
    return Failure{*problem};
  return bytes;
}

Result<std::string> ReadRegularFile(const std::string& path, std::uint64_t maxBytes) {
  const std::wstring name = PathFromUtf8(path).wstring();
  std::uint64_t size = 0;
  if (auto problem = AttributeProblem(name, size)) return Failure{*problem};
  if (size > maxBytes) return Failure{TooLarge(maxBytes)};
  const Handle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return Failure{Problem("cannot be opened", GetLastError())};
  // Checked before the first read: a device could block or never end.
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) return Failure{std::string(kNotRegular)};
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  if (auto problem = ReadAll(file.Get(), bytes, maxBytes)) return Failure{*problem};
  return bytes;
}

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (handle_ != -1 && !toStdout_) CloseHandle(AsHandle(handle_));
  handle_ = -1;
  if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
  temporary_.clear();
}

Result<void> OutputFile::Open() {
  if (path_ == "-") {
    std::fflush(stdout);
    toStdout_ = true;
    handle_ = _get_osfhandle(_fileno(stdout));
    return {};
  }
  target_ = PathFromUtf8(path_);
  const std::wstring name = target_.wstring();
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Failure{std::string("is a folder")};
  {
    // A device (NUL, CON, a serial port) cannot be replaced; write to it directly.
    HANDLE existing = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
      if (GetFileType(existing) != FILE_TYPE_DISK) {
        handle_ = reinterpret_cast<std::intptr_t>(existing);
        return {};
      }
      CloseHandle(existing);
    }
  }
  const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(L".");
  wchar_t temporary[MAX_PATH + 1] = {};
  if (!GetTempFileNameW(folder.c_str(), L"qsd", 0, temporary))
    return Failure{Problem("cannot be created", GetLastError())};
  temporary_ = temporary;
  HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    Discard();
    return Failure{Problem("cannot be created", error)};
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return {};
}

Result<void> OutputFile::Write(std::string_view bytes) {
  if (handle_ != -1 && WriteAll(AsHandle(handle_), bytes)) return {};
  const DWORD error = GetLastError();
  Discard();
  if (toStdout_) return Failure{"cannot write to stdout: Windows error " + std::to_string(error)};
  return Failure{"write error: Windows error " + std::to_string(error)};
}

Result<void> OutputFile::Commit() {
  if (temporary_.empty()) {  // stdout or a device: written as it came
    Discard();
    return {};
  }
  const bool flushed = FlushFileBuffers(AsHandle(handle_));
  const DWORD flushError = GetLastError();
  CloseHandle(AsHandle(handle_));
  handle_ = -1;
  if (!flushed) {
    Discard();
    return Failure{"write error: Windows error " + std::to_string(flushError)};
  }
  if (!MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    Discard();
    return Failure{Problem("cannot be replaced", error)};
  }
  temporary_.clear();
  return {};
}

}  // namespace quillshade::qsd
