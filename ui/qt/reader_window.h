// frmMain as a Qt 6 main window: the window port over Qt's widgets, and nothing more.
#pragma once

#include <QMainWindow>
#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "story/code_page.h"
#include "ui/form.h"
#include "ui/window_port.h"

class QFileDialog;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QTimer;

namespace quillshade {

// Sets up the open dialog with the reader's settings. Any typed name is accepted: a
// missing file is for the load to report, so the dialog asks for no existing file.
void ConfigureOpenDialog(QFileDialog& dialog, const OpenDialogSettings& settings);

// A name from the dialog as the file system spells it (bytes in the locale's encoding).
std::filesystem::path PathOfDialogAnswer(const QString& name);

// The first file of a drop, or nothing when the drop holds no local file.
std::optional<std::filesystem::path> FirstDroppedFile(const QMimeData& data);

// The reader's only window. Every handler of the form runs from here, inside a guard
// that turns an escaping exception into a message box instead of ending the program.
class ReaderWindow final : public QMainWindow, public WindowPort {
 public:
  // `endProgram` leaves the event loop; by default the application's, tests give their own.
  explicit ReaderWindow(const CodePage& storyCodePage, std::function<void()> endProgram = {});

  Form& form() { return form_; }
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

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool event(QEvent* event) override;

 private:
  template <class Handler>
  void Run(Handler handler);
  int PixelsOfTwips(double twips) const;
  void ApplyOuterSize();
  void WatchUntilMapped();

  Form form_;
  std::function<void()> endProgram_;
  bool busy_ = false;
  bool ended_ = false;
  double widthTwips_ = 0;
  double heightTwips_ = 0;
  bool fittedToFrame_ = false;  // the outer size was set again once the frame was known
  QTimer* mapWatch_ = nullptr;  // owned by this window, as its child
};

}  // namespace quillshade
