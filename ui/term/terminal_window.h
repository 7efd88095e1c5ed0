// The terminal as the reader's window: the caption on one line, redrawn in place.
#pragma once

#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "ui/form.h"
#include "ui/window_port.h"

namespace quillshade {

enum class CaptionPlace {
  None,        // nothing is drawn: a caller reads the state after each step
  Line,        // one line of the terminal, redrawn in place
  WindowTitle, // the terminal window's title: the discreet mode
};

// The open dialog answers with the next path of a fixed list, and acts as cancelled
// once the list is used up. Message boxes are remembered for the caller, and drawn
// on their own line when the caption is drawn.
class TerminalWindow final : public WindowPort {
 public:
  TerminalWindow(std::deque<std::filesystem::path> pathsToOpen, CaptionPlace place, std::FILE* out = stdout);

  void SetCaption(std::u16string_view caption) override;
  void SetBusyPointer(bool busy) override { busy_ = busy; }
  void SetWidthTwips(double) override {}
  void SetHeightTwips(double) override {}
  bool IsMinimized() const override { return minimized_; }
  void Minimize() override;
  void ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) override;
  std::optional<std::filesystem::path> ShowOpenDialog(const OpenDialogSettings& settings) override;
  void EndProgram() override { ended_ = true; }

  // The message box shown since the last call, if any.
  std::optional<std::u16string> TakeMessage();
  // Called with each message box as it is shown, before the caption is drawn again:
  // what it prints stands below the message.
  void OnMessage(std::function<void(std::u16string_view text)> listener) { onMessage_ = std::move(listener); }
  // Called after each key that RunInteractive hands to the form, with the key code
  // Form_KeyDown got (0 for File > Open); a key that only brings a minimised window
  // back reaches neither. A listener that prints draws the caption again after.
  void OnKeyHanded(std::function<void(int keyCode)> listener) { onKeyHanded_ = std::move(listener); }
  // The path that the last open dialog answered.
  const std::optional<std::filesystem::path>& LastOpened() const { return lastOpened_; }
  bool Ended() const { return ended_; }
  // Brings a minimised window back, as clicking its task-bar button would.
  void Restore();
  // Draws the caption again, below what was printed since it was drawn.
  void Draw();
  std::FILE* Out() const { return out_; }
  // What leaves the terminal as it was found: a fresh line, or the title cleared.
  const char* Closing() const;

 private:
  friend bool RunInteractive(Form& form, TerminalWindow& window);
  void Handed(int keyCode);

  std::deque<std::filesystem::path> pathsToOpen_;
  CaptionPlace place_;
  std::FILE* out_;
  std::u16string caption_;
  std::optional<std::u16string> message_;
  std::function<void(std::u16string_view)> onMessage_;
  std::function<void(int)> onKeyHanded_;
  std::optional<std::filesystem::path> lastOpened_;
  bool busy_ = false;
  bool minimized_ = false;
  bool ended_ = false;
};

// Reads keys from the terminal until q or Esc, or until the program ends: Down, Enter
// or j is Down, 1..5 answer a choice, Space minimises, o opens the next file. Each runs
// through the form's guard. The terminal's mode comes back on every way out, signals
// included. Answers false when stdin is not a terminal.
bool RunInteractive(Form& form, TerminalWindow& window);

}  // namespace quillshade
