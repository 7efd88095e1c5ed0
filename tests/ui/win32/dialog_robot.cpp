// The dialog robot: finds this thread's dialogs from a timer, records them, answers them.
#include "dialog_robot.h"

#include <commdlg.h>
#include <dlgs.h>

namespace quillshade::test {
namespace {

DialogRobot* activeRobot = nullptr;  // one robot at a time; tests run on one thread
constexpr DWORD kGiveUpAfterMs = 20000;

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

std::wstring TextOf(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

// The topmost dialog of this thread: visible, enabled (a dialog it owns is not open).
HWND FindActiveDialog() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM param) -> BOOL {
        if (ClassOf(hwnd) == L"#32770" && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
          *reinterpret_cast<HWND*>(param) = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

SeenDialog Inspect(HWND dialog) {
  SeenDialog seen;
  seen.title = TextOf(dialog);
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM param) -> BOOL {
        auto& found = *reinterpret_cast<SeenDialog*>(param);
        if (!IsWindowVisible(child)) return TRUE;
        const std::wstring kind = ClassOf(child);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (kind == L"Button") {
          const LONG type = style & BS_TYPEMASK;
          if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) ++found.pushButtons;
        } else if (kind == L"Static") {
          if ((style & SS_TYPEMASK) == SS_ICON) {
            if (SendMessageW(child, STM_GETICON, 0, 0)) found.iconShown = true;
          } else if (found.text.size() < static_cast<std::size_t>(GetWindowTextLengthW(child))) {
            found.text = TextOf(child);
          }
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&seen));
  // The open dialog's own controls, where it has them.
  if (HWND filter = GetDlgItem(dialog, cmb1)) {
    const auto count = SendMessageW(filter, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      std::wstring item(static_cast<std::size_t>(SendMessageW(filter, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
      item.resize(static_cast<std::size_t>(SendMessageW(filter, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
      seen.filters.push_back(item);
    }
  }
  if (HWND readOnly = GetDlgItem(dialog, chx1)) seen.readOnlyBoxShown = IsWindowVisible(readOnly);
  if (HWND name = GetDlgItem(dialog, cmb13)) seen.fileNameBox = TextOf(name);
  else if (HWND edit = GetDlgItem(dialog, edt1)) seen.fileNameBox = TextOf(edit);
  return seen;
}

}  // namespace

void PressOk(HWND dialog) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

void PressCancel(HWND dialog) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

DialogAction TypeAndOpen(std::wstring name) {
  return [name](HWND dialog) {
    HWND box = GetDlgItem(dialog, cmb13);
    if (!box) box = GetDlgItem(dialog, edt1);
    SetWindowTextW(box, name.c_str());
    PressOk(dialog);
  };
}

DialogRobot::DialogRobot() {
  activeRobot = this;
  waitingSince_ = GetTickCount();
  timer_ = SetTimer(nullptr, 0, 25, &DialogRobot::OnTimer);
}

DialogRobot::~DialogRobot() {
  KillTimer(nullptr, timer_);
  activeRobot = nullptr;
}

DialogRobot& DialogRobot::Then(DialogAction action) {
  actions_.push_back(std::move(action));
  return *this;
}

void CALLBACK DialogRobot::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (activeRobot) activeRobot->Tick();
}

void DialogRobot::Tick() {
  HWND dialog = FindActiveDialog();
  if (!dialog || dialog == current_) {
    if (dialog && GetTickCount() - waitingSince_ > kGiveUpAfterMs) PressCancel(dialog);
    return;
  }
  current_ = dialog;
  waitingSince_ = GetTickCount();
  seen_.push_back(Inspect(dialog));
  if (next_ < actions_.size()) {
    actions_[next_++](dialog);
  } else {
    PressCancel(dialog);  // not expected by the test: it shows up in Seen()
  }
}

}  // namespace quillshade::test
