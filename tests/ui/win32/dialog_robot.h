// Answers the modal dialogs that the code under test opens, as a person at the keyboard would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quillshade::test {

// What a dialog showed when the robot met it.
struct SeenDialog {
  std::wstring title;
  std::wstring text;                 // a message box's text
  int pushButtons = 0;               // visible push buttons
  bool iconShown = false;            // a visible icon control
  std::vector<std::wstring> filters; // the open dialog's file-type list
  bool readOnlyBoxShown = false;
  std::wstring fileNameBox;          // the open dialog's name box, as it came up
};

// One step, run on the next dialog that comes up.
using DialogAction = std::function<void(HWND dialog)>;

void PressOk(HWND dialog);
void PressCancel(HWND dialog);
// Types `name` into the open dialog's name box and presses Open.
DialogAction TypeAndOpen(std::wstring name);

// While it lives, a thread timer looks for this thread's dialogs: each new one is
// recorded and gets the next action. The modal loops of dialogs and message boxes run
// thread timers, so this works while the code under test waits in one of them. If a
// dialog stays unanswered for long, the robot cancels it so that a failing test ends.
class DialogRobot {
 public:
  DialogRobot();
  ~DialogRobot();
  DialogRobot(const DialogRobot&) = delete;
  DialogRobot& operator=(const DialogRobot&) = delete;

  DialogRobot& Then(DialogAction action);
  const std::vector<SeenDialog>& Seen() const { return seen_; }
  bool AllAnswered() const { return next_ == actions_.size(); }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Tick();

  UINT_PTR timer_ = 0;
  std::vector<DialogAction> actions_;
  std::size_t next_ = 0;
  std::vector<SeenDialog> seen_;
  HWND current_ = nullptr;  // the dialog answered last, until it is gone
  DWORD waitingSince_ = 0;
};

}  // namespace quillshade::test
