// Reads windows of another program from outside, for the end-to-end tests and screenshots:
// window_probe.exe TITLE prints the dialog's title, text, push buttons and icon, in UTF-8;
// window_probe.exe --window TITLE succeeds when some top-level window has that title;
// window_probe.exe --foreground TITLE when the window that has the keyboard has it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Seen {
  std::wstring text;
  int pushButtons = 0;
  bool icon = false;
};

std::string Utf8(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), length, nullptr, nullptr);
  result.pop_back();
  return result;
}

BOOL CALLBACK Visit(HWND child, LPARAM param) {
  auto& seen = *reinterpret_cast<Seen*>(param);
  if (!IsWindowVisible(child)) return TRUE;
  wchar_t kind[32] = {};
  GetClassNameW(child, kind, 32);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  wchar_t text[1024] = {};
  GetWindowTextW(child, text, 1024);
  if (lstrcmpiW(kind, L"Button") == 0) {
    if ((style & BS_TYPEMASK) == BS_PUSHBUTTON || (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) ++seen.pushButtons;
  } else if (lstrcmpiW(kind, L"Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      seen.icon = seen.icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
    } else if (lstrlenW(text) > static_cast<int>(seen.text.size())) {
      seen.text = text;
    }
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && lstrcmpW(argv[1], L"--window") == 0) return FindWindowW(nullptr, argv[2]) ? 0 : 1;
  if (argc == 3 && lstrcmpW(argv[1], L"--foreground") == 0) {
    HWND shown = FindWindowW(nullptr, argv[2]);
    return shown && shown == GetForegroundWindow() ? 0 : 1;
  }
  if (argc != 2) {
    std::fputs("usage: window_probe.exe TITLE | --window TITLE | --foreground TITLE\n", stderr);
    return 2;
  }
  HWND dialog = FindWindowW(L"#32770", argv[1]);
  if (!dialog) {
    std::fprintf(stderr, "no dialog titled %s\n", Utf8(argv[1]).c_str());
    return 1;
  }
  Seen seen;
  EnumChildWindows(dialog, Visit, reinterpret_cast<LPARAM>(&seen));
  std::string text;  // on one line: CR and LF written as \r and \n
  for (const char c : Utf8(seen.text)) text += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  std::printf("title=%s\ntext=%s\nbuttons=%d\nicon=%d\n", Utf8(argv[1]).c_str(), text.c_str(), seen.pushButtons,
              seen.icon ? 1 : 0);
  return 0;
}
