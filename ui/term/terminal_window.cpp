// Drawing the caption with ANSI escapes, and reading single key presses in raw mode.
#include "ui/term/terminal_window.h"

#ifndef _WIN32
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "story/utf8.h"

namespace quillshade {
namespace {

// Control characters of a story line would move the cursor; show them as U+FFFD.
std::string Printable(std::u16string_view text) {
  std::u16string clean(text);
  for (char16_t& c : clean)
    if (c < 0x20 || c == 0x7F) c = u'\uFFFD';
  return ToUtf8(clean);
}

}  // namespace

TerminalWindow::TerminalWindow(std::deque<std::filesystem::path> pathsToOpen, CaptionPlace place, std::FILE* out)
    : pathsToOpen_(std::move(pathsToOpen)), place_(place), out_(out) {}

void TerminalWindow::SetCaption(std::u16string_view caption) {
  caption_ = caption;
  Draw();
}

void TerminalWindow::Minimize() {
  minimized_ = true;
  Draw();
}

void TerminalWindow::Restore() {
  minimized_ = false;
  Draw();
}

void TerminalWindow::ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) {
  message_ = std::u16string(text);
  if (place_ == CaptionPlace::None) return;
  std::fprintf(out_, "\r\033[2K[%s] %s\n", Printable(title.value_or(kApplicationTitle)).c_str(), Printable(text).c_str());
  Draw();
}

std::optional<std::filesystem::path> TerminalWindow::ShowOpenDialog(const OpenDialogSettings&) {
  lastOpened_.reset();
  if (pathsToOpen_.empty()) return std::nullopt;
  lastOpened_ = std::move(pathsToOpen_.front());
  pathsToOpen_.pop_front();
  return lastOpened_;
}

std::optional<std::u16string> TerminalWindow::TakeMessage() {
  std::optional<std::u16string> message = std::move(message_);
  message_.reset();
  return message;
}

void TerminalWindow::Draw() {
  const std::string shown = minimized_ ? std::string() : Printable(caption_);
  switch (place_) {
    case CaptionPlace::None: return;
    case CaptionPlace::Line: std::fprintf(out_, "\r\033[2K%s", shown.c_str()); break;
    case CaptionPlace::WindowTitle: std::fprintf(out_, "\033]2;%s\007", shown.c_str()); break;
  }
  std::fflush(out_);
}

void TerminalWindow::Close() {
  if (place_ == CaptionPlace::Line) std::fprintf(out_, "\n");
  if (place_ == CaptionPlace::WindowTitle) std::fprintf(out_, "\033]2;\007");
  std::fflush(out_);
}

#ifdef _WIN32

// Keys are read in a POSIX terminal's raw mode; a Windows console has none.
bool RunInteractive(Form&, TerminalWindow&) { return false; }

#else

namespace {

enum class TermKey { None, Down, Space, Open, Quit, Choice };

struct KeyPress {
  TermKey key = TermKey::None;
  int keyCode = 0;
};

// Restores the terminal's mode on every way out.
class RawMode {
 public:
  RawMode() {
    ok_ = tcgetattr(STDIN_FILENO, &saved_) == 0;
    if (!ok_) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ~RawMode() {
    if (ok_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;

 private:
  termios saved_{};
  bool ok_ = false;
};

bool ReadByte(unsigned char& byte, int timeoutMs) {
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  if (poll(&fd, 1, timeoutMs) <= 0) return false;
  return read(STDIN_FILENO, &byte, 1) == 1;
}

KeyPress ReadKey() {
  unsigned char c = 0;
  if (!ReadByte(c, -1)) return {TermKey::Quit, 0};
  if (c == 0x1B) {
    // A lone Esc quits; an escape sequence is an arrow or other special key.
    unsigned char next = 0;
    if (!ReadByte(next, 50)) return {TermKey::Quit, 0};
    if (next != '[' && next != 'O') return {};
    unsigned char final = 0;
    while (ReadByte(final, 50) && !(final >= 0x40 && final <= 0x7E)) {
    }
    return final == 'B' ? KeyPress{TermKey::Down, keys::kDown} : KeyPress{};
  }
  if (c == '\r' || c == '\n' || c == 'j') return {TermKey::Down, keys::kDown};
  if (c == ' ') return {TermKey::Space, keys::kSpace};
  if (c == 'q' || c == 4) return {TermKey::Quit, 0};
  if (c == 'o') return {TermKey::Open, 0};
  if (c >= '1' && c <= '5') return {TermKey::Choice, keys::k1 + (c - '1')};
  return {};
}

}  // namespace

bool RunInteractive(Form& form, TerminalWindow& window) {
  if (!isatty(STDIN_FILENO)) return false;
  RawMode raw;
  while (!window.Ended()) {
    const KeyPress press = ReadKey();
    if (press.key == TermKey::Quit) break;
    if (window.IsMinimized()) {
      window.Restore();  // a minimised window has no keyboard: the key only brings it back
      continue;
    }
    if (press.key == TermKey::Open) {
      mnuFileOpen_Click(form);
    } else if (press.key != TermKey::None) {
      Form_KeyDown(form, press.keyCode);
    }
  }
  window.Close();
  return true;
}

#endif  // _WIN32

}  // namespace quillshade
