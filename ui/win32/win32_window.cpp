// The Win32 window: messages in, the form's handlers, and the port's calls out.
#include "ui/win32/win32_window.h"

#include <commdlg.h>
#include <imm.h>

#include <exception>
#include <string>
#include <vector>

#include "ui/win32/resource.h"

namespace quillshade {
namespace {

constexpr wchar_t kClassName[] = L"QuillshadeMain";
// The longest path Windows accepts, plus its terminator: the dialog's answer always fits.
constexpr DWORD kPathBufferLength = 32768;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::wstring WideFromUtf8(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, result.data(), length);
  result.pop_back();
  return result;
}

// GetDpiForWindow exists from Windows 10 1607 on; looked up at run time so that the
// reader still starts on older systems, and falls back to the screen's DPI there.
unsigned DpiOfWindow(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow && hwnd) {
    if (const UINT dpi = getDpiForWindow(hwnd)) return dpi;
  }
  HDC screen = GetDC(hwnd);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(hwnd, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

bool RegisterWindowClass(HINSTANCE instance, WNDPROC windowProc) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLSHADE));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUILLSHADE), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
  windowClass.lpszClassName = kClassName;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

std::wstring ExtendedLengthPath(std::wstring path) {
  if (path.size() < MAX_PATH || path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
  if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

std::filesystem::path PathOfArgument(const std::wstring& argument) {
  const DWORD length = GetFullPathNameW(argument.c_str(), 0, nullptr, nullptr);
  if (length == 0) return std::filesystem::path(argument);  // the load reports it
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(argument.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) return std::filesystem::path(argument);
  full.resize(written);
  return std::filesystem::path(ExtendedLengthPath(std::move(full)));
}

std::optional<std::filesystem::path> OpenDialogAnswer(bool chosen, DWORD extendedError, const wchar_t* fileName) {
  if (chosen) return std::filesystem::path(ExtendedLengthPath(fileName));
  if (extendedError == 0) return std::nullopt;  // Cancel, and only Cancel, says nothing
  return std::filesystem::path();
}

Win32Window::Win32Window(const CodePage& storyCodePage, Win32WindowOptions options)
    : form_(*this, storyCodePage), options_(std::move(options)) {}

std::unique_ptr<Win32Window> Win32Window::Create(HINSTANCE instance, const CodePage& storyCodePage,
                                                 Win32WindowOptions options) {
  if (!RegisterWindowClass(instance, WindowProc)) return nullptr;
  std::unique_ptr<Win32Window> window(new Win32Window(storyCodePage, std::move(options)));
  // The default frame at the default place; Form_Load gives it its caption and size
  // before it is first shown.
  CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, window.get());
  if (!window->hwnd_) return nullptr;
  window->RunHandler(Form_Load);
  return window;
}

Win32Window::~Win32Window() {
  if (hwnd_) DestroyWindow(hwnd_);
}

unsigned Win32Window::Dpi() const { return DpiOfWindow(hwnd_); }

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32Window* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (self) {
    // Exceptions must not unwind through the window system's frames.
    try {
      if (const std::optional<LRESULT> result = self->HandleMessage(message, wParam, lParam)) return *result;
    } catch (const std::exception& error) {
      self->ReportError(error.what());
      return 0;
    } catch (...) {
      self->ReportError(nullptr);
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::optional<LRESULT> Win32Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_KEYDOWN: OnKeyDown(wParam); return 0;
    // Alt combinations and F10 reach the form too, and then the window system, so that
    // the menus' access keys and the system menu keep working.
    case WM_SYSKEYDOWN: OnKeyDown(wParam); break;
    case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
    case WM_SETCURSOR: if (OnSetCursor()) return TRUE; break;
    case WM_DPICHANGED: OnDpiChanged(*reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_NCDESTROY: hwnd_ = nullptr; break;
    default: break;
  }
  return std::nullopt;
}

void Win32Window::OnCreate() {
  // With a Japanese IME switched on, digits would arrive as VK_PROCESSKEY; the reader
  // takes no text, so the window has no input context at all.
  ImmAssociateContextEx(hwnd_, nullptr, 0);
  DragAcceptFiles(hwnd_, TRUE);
}

void Win32Window::OnKeyDown(WPARAM virtualKey) {
  RunHandler([virtualKey](Form& form) { Form_KeyDown(form, static_cast<int>(virtualKey)); });
}

void Win32Window::OnCommand(int id) {
  switch (id) {
    case IDM_FILE_OPEN: RunHandler(mnuFileOpen_Click); break;
    case IDM_FILE_CLOSE: RunHandler(mnuFileClose_Click); break;
    case IDM_HELP_VER: RunHandler(mnuHelpVer_Click); break;
    default: break;
  }
}

bool Win32Window::OnSetCursor() {
  // The window is nearly all title bar, so the hourglass covers every part of it.
  if (!busy_) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

void Win32Window::OnDpiChanged(const RECT& suggested) {
  // The system's suggestion keeps the window the same size in inches on the new display.
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::OnDropFiles(HDROP drop) {
  // Only the first of several files counts. The drop is given back before the load,
  // whose box would otherwise keep the dragging program waiting.
  std::wstring name(DragQueryFileW(drop, 0, nullptr, 0), L'\0');
  const UINT copied = DragQueryFileW(drop, 0, name.data(), static_cast<UINT>(name.size() + 1));
  DragFinish(drop);
  name.resize(copied);
  if (!name.empty()) OpenStoryAt(PathOfArgument(name));
}

void Win32Window::OnDestroy() {
  if (options_.quitWhenClosed) PostQuitMessage(0);
}

void Win32Window::RunHandler(const std::function<void(Form&)>& handler) { quillshade::RunHandler(form_, handler); }

void Win32Window::OpenStoryAt(const std::filesystem::path& path) {
  RunHandler([&path](Form& form) { OpenStory(form, path); });
}

void Win32Window::ReportError(const char* what) {
  // Only for what escapes the form's own guard: the window system's part of a message.
  std::wstring text = Wide(kUnexpectedErrorText);
  if (what && *what) text += L"\r\n\r\n" + WideFromUtf8(what);
  MessageBoxW(hwnd_, text.c_str(), Wide(kApplicationTitle).c_str(), MB_OK);
}

void Win32Window::SetCaption(std::u16string_view caption) { SetWindowTextW(hwnd_, Wide(caption).c_str()); }

void Win32Window::SetBusyPointer(bool busy) {
  busy_ = busy;
  // The thread is about to be busy and will not see WM_SETCURSOR, so the pointer changes now.
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void Win32Window::Resize(int width, int height) {
  // Too small a height is raised by the window system to its minimum (WM_GETMINMAXINFO).
  SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::SetWidthTwips(double width) {
  RECT rect{};
  GetWindowRect(hwnd_, &rect);
  Resize(TwipsToPixels(width, Dpi()), rect.bottom - rect.top);
}

void Win32Window::SetHeightTwips(double height) {
  RECT rect{};
  GetWindowRect(hwnd_, &rect);
  Resize(rect.right - rect.left, TwipsToPixels(height, Dpi()));
}

bool Win32Window::IsMinimized() const { return IsIconic(hwnd_) != FALSE; }

void Win32Window::Minimize() { ShowWindow(hwnd_, SW_MINIMIZE); }

void Win32Window::ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) {
  MessageBoxW(hwnd_, Wide(text).c_str(), Wide(title.value_or(kApplicationTitle)).c_str(), MB_OK);
}

std::optional<std::filesystem::path> Win32Window::ShowOpenDialog(const OpenDialogSettings& settings) {
  // Description and pattern, each ended by a NUL, and one more NUL after the last pair.
  std::wstring filter = Wide(settings.filterDescription);
  filter.push_back(L'\0');
  filter += Wide(settings.filterPattern);
  filter.push_back(L'\0');
  const std::wstring title = Wide(settings.title);
  std::vector<wchar_t> fileName(kPathBufferLength, L'\0');
  const std::wstring initialName = Wide(settings.fileName).substr(0, kPathBufferLength - 1);
  std::copy(initialName.begin(), initialName.end(), fileName.begin());

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = static_cast<DWORD>(settings.filterIndex);
  dialog.lpstrFile = fileName.data();
  dialog.nMaxFile = kPathBufferLength;
  dialog.lpstrTitle = title.c_str();
  // Nothing else: a typed name need not exist, and no extension is added to it.
  dialog.Flags = settings.hideReadOnly ? OFN_HIDEREADONLY : 0;
  const bool chosen = GetOpenFileNameW(&dialog) != FALSE;
  return OpenDialogAnswer(chosen, chosen ? 0 : CommDlgExtendedError(), fileName.data());
}

void Win32Window::EndProgram() {
  if (options_.endProgram) {
    options_.endProgram();
    return;
  }
  ExitProcess(0);
}

int RunMessageLoop() {
  MSG message;
  BOOL result;
  while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (result == -1) return 1;
    // TranslateMessage makes the WM_SYSCHAR that opens a menu by its access key.
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace quillshade
