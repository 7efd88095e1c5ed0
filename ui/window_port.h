// The window port: all that the form asks of a window system.
#pragma once

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillshade {

// The settings of the open dialog, fixed by the reader: the port shows them as given.
struct OpenDialogSettings {
  std::u16string title = u"ファイルを開く";
  std::u16string filterDescription = u"Quillshadeファイル(*.qsd)";
  std::u16string filterPattern = u"*.qsd";
  int filterIndex = 1;             // 1-based, the one entry
  std::u16string fileName;         // the name box starts empty
  bool hideReadOnly = true;        // and no other option: the typed file need not exist
};

inline constexpr double kTwipsPerInch = 1440;

// Pixels of a length in twips at `dpi` dots per inch, rounded to the nearest pixel.
inline int TwipsToPixels(double twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

// A window system behind the form: the Win32 window, the Qt window, the terminal, the test fake.
// Every call comes from the form on the user-interface thread, one event at a time.
class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Replaces the title-bar text whole, also with an empty text.
  virtual void SetCaption(std::u16string_view caption) = 0;

  // The hourglass while true, the default pointer while false. The port must make the
  // hourglass visible even though the thread is busy until it is turned off again.
  virtual void SetBusyPointer(bool busy) = 0;

  // Outer window size in twips (1440 to the inch) at the window's real DPI. The window
  // system raises a height that is too small to its minimum.
  virtual void SetWidthTwips(double width) = 0;
  virtual void SetHeightTwips(double height) = 0;

  virtual bool IsMinimized() const = 0;
  virtual void Minimize() = 0;

  // A modal box with the text and an OK button only, no icon. Without a title it
  // carries the application's title. Returns once the box is closed.
  virtual void ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) = 0;

  // The modal open dialog: the chosen path; nothing when it was cancelled; an empty path,
  // which no load can open, when the dialog itself failed.
  virtual std::optional<std::filesystem::path> ShowOpenDialog(const OpenDialogSettings& settings) = 0;

  // Ends the program at once: no further handler of the form runs.
  virtual void EndProgram() = 0;
};

}  // namespace quillshade
