// What differs between the systems qsd runs on, kept in one place.
#include "tools/qsd/lib/platform.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "tools/qsd/lib/files.h"

#ifndef _WIN32
extern char** environ;
#endif

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
#ifdef _WIN32
Result<std::string> RenderSvg(const std::string& dot) {
  namespace fs = std::filesystem;
  std::error_code error;
  const std::wstring folder = fs::temp_directory_path(error).wstring();
  wchar_t input[MAX_PATH + 1] = {};
  wchar_t output[MAX_PATH + 1] = {};
  // Both names are made unique by creating the files here; dot overwrites them.
  if (!GetTempFileNameW(folder.c_str(), L"qsd", 0, input) || !GetTempFileNameW(folder.c_str(), L"qsd", 0, output)) {
    DeleteFileW(input);
    return Failure{"cannot create a temporary file"};
  }
  struct Cleanup {
    const wchar_t* a;
    const wchar_t* b;
    ~Cleanup() {
      DeleteFileW(a);
      DeleteFileW(b);
    }
  } cleanup{input, output};
  if (const Result<void> written = WriteOutput(Utf8FromPath(input), dot); !written.ok())
    return Failure{"cannot write a temporary file: " + written.error().message};
  // The spawned command line is the arguments joined by spaces, so paths are quoted.
  const std::wstring quotedInput = L"\"" + std::wstring(input) + L"\"";
  const std::wstring quotedOutput = L"\"" + std::wstring(output) + L"\"";
  const wchar_t* argv[] = {L"dot", L"-Tsvg", L"-o", quotedOutput.c_str(), quotedInput.c_str(), nullptr};
  const intptr_t status = _wspawnvp(_P_WAIT, L"dot", argv);
  if (status == -1 && errno == ENOENT)
    return Failure{std::string("--format svg needs Graphviz's `dot` program, which is not installed (or not on PATH); "
                               "install graphviz, or use --format dot")};
  if (status == -1) return Failure{std::string("cannot run `dot`: ") + std::strerror(errno)};
  if (status != 0) return Failure{std::string("`dot` failed to draw the graph")};
  Result<std::string> svg = ReadInput(Utf8FromPath(output));
  if (!svg.ok()) return Failure{"cannot read what `dot` drew: " + svg.error().message};
  return svg;
}
#else
Result<std::string> RenderSvg(const std::string& dot) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path folder = fs::temp_directory_path(error);
  std::string input = (folder / "qsd-graph-XXXXXX").string();
  std::string output = (folder / "qsd-graph-XXXXXX.svg").string();
  // Both names are made unique and safe by creating the files here; dot overwrites them.
  const int inputFd = ::mkstemp(input.data());
  if (inputFd < 0) return Failure{std::string("cannot create a temporary file: ") + std::strerror(errno)};
  ::close(inputFd);
  const int outputFd = ::mkstemps(output.data(), 4);
  if (outputFd < 0) {
    ::unlink(input.c_str());
    return Failure{std::string("cannot create a temporary file: ") + std::strerror(errno)};
  }
  ::close(outputFd);
  struct Cleanup {
    std::string a, b;
    ~Cleanup() {
      ::unlink(a.c_str());
      ::unlink(b.c_str());
    }
  } cleanup{input, output};
  if (const Result<void> written = WriteOutput(input, dot); !written.ok())
    return Failure{"cannot write a temporary file: " + written.error().message};

  std::vector<std::string> words{"dot", "-Tsvg", "-o", output, input};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, "dot", nullptr, nullptr, argv.data(), environ);
  if (spawned == ENOENT)
    return Failure{std::string("--format svg needs Graphviz's `dot` program, which is not installed (or not on PATH); "
                         "install graphviz, or use --format dot")};
  if (spawned != 0) return Failure{std::string("cannot run `dot`: ") + std::strerror(spawned)};
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return Failure{std::string("lost track of `dot`: ") + std::strerror(errno)};
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Failure{std::string("`dot` failed to draw the graph")};
  Result<std::string> svg = ReadInput(output);
  if (!svg.ok()) return Failure{"cannot read what `dot` drew: " + svg.error().message};
  return svg;
}
#endif

Result<void> CheckInteractivePlay() {
#ifdef _WIN32
  // The terminal reader reads keys in a POSIX terminal's raw mode.
  return Failure{"interactive play needs a POSIX terminal"};
#else
  if (!isatty(STDIN_FILENO)) return Failure{"stdin is not a terminal"};
  return {};
#endif
}

}  // namespace quillshade::qsd
