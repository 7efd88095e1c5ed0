// quillshade.exe: a thin wWinMain over the Win32 window library.
#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "ui/win32/ansi_code_page.h"
#include "ui/win32/win32_window.h"

namespace {

// The first argument of the wide command line, which names any file whatever the code
// page; the narrow one would lose characters outside it.
std::optional<std::wstring> FirstArgument() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return std::nullopt;
  std::optional<std::wstring> first;
  if (count >= 2) first = arguments[1];
  LocalFree(arguments);
  return first;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace quillshade;
  const std::unique_ptr<Win32Window> window = Win32Window::Create(instance, AnsiCodePage());
  if (!window) {
    MessageBoxW(nullptr, L"ウィンドウを作れません。", L"Quillshade", MB_OK);
    return 1;
  }
  ShowWindow(window->Handle(), showCommand);
  UpdateWindow(window->Handle());
  // The window starts as it always does, then loads the story named on the command line.
  if (const std::optional<std::wstring> story = FirstArgument()) window->OpenStoryAt(PathOfArgument(*story));
  return RunMessageLoop();
}
