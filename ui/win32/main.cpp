// quillshade.exe: a thin wWinMain over the Win32 window library.
#include <windows.h>

#include "ui/win32/ansi_code_page.h"
#include "ui/win32/win32_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace quillshade;
  const std::unique_ptr<Win32Window> window = Win32Window::Create(instance, AnsiCodePage());
  if (!window) {
    MessageBoxW(nullptr, L"ウィンドウを作れません。", L"Quillshade", MB_OK);
    return 1;
  }
  ShowWindow(window->Handle(), showCommand);
  UpdateWindow(window->Handle());
  return RunMessageLoop();
}
