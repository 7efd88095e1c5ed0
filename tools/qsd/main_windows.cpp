// qsd on Windows: the wide command line handed on as UTF-8, output bytes left as they
// are for files and pipes, and UTF-8 shown right on a console through its wide output.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/qsd/commands/cli.h"

namespace {

std::string Utf8FromWide(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}

// How many leading bytes of `bytes` end on a whole UTF-8 sequence; the rest waits for
// the next read, so a character split between two writes is still shown whole.
std::size_t WholeSequences(const std::string& bytes) {
  std::size_t end = bytes.size();
  std::size_t back = 0;
  while (back < 3 && back < end && (static_cast<unsigned char>(bytes[end - 1 - back]) & 0xC0) == 0x80) ++back;
  if (back == end) return end;
  const auto lead = static_cast<unsigned char>(bytes[end - 1 - back]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return length > back + 1 ? end - 1 - back : end;
}

// Puts a pipe in place of a console's stream: the commands write UTF-8 bytes as they do
// everywhere, and a thread turns them into UTF-16 for WriteConsoleW, which shows every
// character whatever the console's code page. Files and pipes are left alone.
class ConsoleBridge {
 public:
  ConsoleBridge(int fd, DWORD stdHandle) : fd_(fd) {
    const HANDLE standard = GetStdHandle(stdHandle);
    DWORD mode = 0;
    if (standard == nullptr || standard == INVALID_HANDLE_VALUE || !GetConsoleMode(standard, &mode)) return;
    // A handle of our own: putting the pipe in the stream's place closes the stream's.
    if (!DuplicateHandle(GetCurrentProcess(), standard, GetCurrentProcess(), &console_, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
      return;
    int ends[2];
    if (_pipe(ends, 1 << 16, _O_BINARY) != 0) return;
    if (_dup2(ends[1], fd_) != 0) {
      _close(ends[0]);
      _close(ends[1]);
      return;
    }
    _close(ends[1]);
    reader_ = std::thread([this, in = ends[0]] { Pump(in); });
  }
  ConsoleBridge(const ConsoleBridge&) = delete;
  ConsoleBridge& operator=(const ConsoleBridge&) = delete;

  // Closing the pipe's only write end lets the thread see its end and finish.
  ~ConsoleBridge() {
    if (reader_.joinable()) {
      _close(fd_);
      reader_.join();
    }
    if (console_ != nullptr) CloseHandle(console_);
  }

 private:
  void Pump(int in) {
    std::string pending;
    char buffer[4096];
    for (;;) {
      const int got = _read(in, buffer, sizeof buffer);
      if (got <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(got));
      const std::size_t whole = WholeSequences(pending);
      Show(pending.substr(0, whole));
      pending.erase(0, whole);
    }
    Show(pending);
    _close(in);
  }

  void Show(const std::string& utf8) {
    if (utf8.empty()) return;
    const int length = static_cast<int>(utf8.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), units);
    DWORD written = 0;
    WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  }

  int fd_;
  HANDLE console_ = nullptr;
  std::thread reader_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Bytes in and out exactly as on Linux: no CR added before LF, no ^Z taken as an end.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Utf8FromWide(argv[i]));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  int status = 0;
  {
    const ConsoleBridge out(_fileno(stdout), STD_OUTPUT_HANDLE);
    const ConsoleBridge err(_fileno(stderr), STD_ERROR_HANDLE);
    status = quillshade::qsd::Main(argc, pointers.data());
    std::fflush(stdout);
    std::fflush(stderr);
  }
  return status;
}
