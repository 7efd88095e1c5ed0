// frmMain as a Win32 top-level window: the window port that the form runs on under Windows.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>

#include "ui/form.h"
#include "ui/window_port.h"

namespace quillshade {

struct Win32WindowOptions {
  // File > Exit. Empty: the process ends at once (ExitProcess), as the reader does.
  std::function<void()> endProgram;
  // Whether destroying the window ends the message loop, and so the program.
  bool quitWhenClosed = true;
};

// Turns a path too long for the classic limit into its extended form (\\?\ or \\?\UNC\),
// which every file function accepts whatever the system's long-path setting.
std::wstring ExtendedLengthPath(std::wstring path);

// A path as the command line names it, made absolute against the working folder, in
// the form every file function accepts however long it is.
std::filesystem::path PathOfArgument(const std::wstring& argument);

// What the open dialog's outcome means to the form: the chosen path; nothing on Cancel
// (no extended error); an empty path, which no load can open, when the dialog itself
// failed (it could not be made, or the name did not fit its buffer).
std::optional<std::filesystem::path> OpenDialogAnswer(bool chosen, DWORD extendedError, const wchar_t* fileName);

class Win32Window final : public WindowPort {
 public:
  // Creates the window, hidden, and runs Form_Load on it. Nothing if the window system
  // refuses to create it. The code page must outlive the window.
  static std::unique_ptr<Win32Window> Create(HINSTANCE instance, const CodePage& storyCodePage,
                                             Win32WindowOptions options = {});
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  HWND Handle() const { return hwnd_; }
  Form& form() { return form_; }
  bool Busy() const { return busy_; }
  // The DPI that twips are converted at: the window's own where the system knows it.
  unsigned Dpi() const;

  // Runs one of the form's handlers under the form's guard (RunHandler in ui/form.h).
  void RunHandler(const std::function<void(Form&)>& handler);
  // Loads a story as File > Open does after its dialog: the command line's, a dropped one.
  void OpenStoryAt(const std::filesystem::path& path);

  void SetCaption(std::u16string_view caption) override;
  void SetBusyPointer(bool busy) override;
  void SetWidthTwips(double width) override;
  void SetHeightTwips(double height) override;
  bool IsMinimized() const override;
  void Minimize() override;
  void ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) override;
  std::optional<std::filesystem::path> ShowOpenDialog(const OpenDialogSettings& settings) override;
  void EndProgram() override;

 private:
  Win32Window(const CodePage& storyCodePage, Win32WindowOptions options);

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The result of a message this window handles itself; nothing sends it on to DefWindowProcW.
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCreate();
  void OnKeyDown(WPARAM virtualKey);
  void OnCommand(int id);
  bool OnSetCursor();
  void OnDpiChanged(const RECT& suggested);
  void OnDropFiles(HDROP drop);
  void OnDestroy();
  void ReportError(const char* what);  // `what` may be null
  void Resize(int width, int height);

  Form form_;
  Win32WindowOptions options_;
  HWND hwnd_ = nullptr;  // owned: destroyed with this object
  bool busy_ = false;
};

// Runs the message loop until the window is closed; returns the program's exit code.
int RunMessageLoop();

}  // namespace quillshade
