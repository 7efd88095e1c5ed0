// Drawing the caption with ANSI escapes, and reading single key presses in raw mode.
#include "ui/term/terminal_window.h"

#ifndef _WIN32
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "story/utf8.h"

namespace quillshade {
namespace {

std::string Printable(std::u16string_view text) { return PrintableText(text, ControlCharacters::Replaced); }

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
  std::fflush(out_);
  if (onMessage_) onMessage_(text);
  Draw();
}

std::optional<std::filesystem::path> TerminalWindow::ShowOpenDialog(const OpenDialogSettings&) {
  lastOpened_.reset();
  if (pathsToOpen_.empty()) return std::nullopt;
  lastOpened_ = std::move(pathsToOpen_.front());
  pathsToOpen_.pop_front();
  return lastOpened_;
}

void TerminalWindow::Handed(int keyCode) {
  if (onKeyHanded_) onKeyHanded_(keyCode);
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

const char* TerminalWindow::Closing() const {
  switch (place_) {
    case CaptionPlace::None: return "";
    case CaptionPlace::Line: return "\n";
    case CaptionPlace::WindowTitle: return "\033]2;\007";
  }
  return "";
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

// What puts the terminal back: its mode as found, and the bytes that end the drawing.
// The signal handlers read it, so it lives outside any object; one session at a time.
struct TerminalRestore {
  termios mode{};
  int outFd = -1;
  const char* closing = "";
};
TerminalRestore gRestore;

constexpr std::array kFatalSignals{SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};

void PutTerminalBack() {
  tcsetattr(STDIN_FILENO, TCSANOW, &gRestore.mode);
  if (gRestore.outFd >= 0) {
    const ssize_t ignored = write(gRestore.outFd, gRestore.closing, std::strlen(gRestore.closing));
    (void)ignored;
  }
}

termios RawModeOf(termios mode) {
  mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  return mode;
}

// Ctrl+C, a hang-up, kill, a crash: the terminal comes back, then the signal does what
// it would have done (its handler was reset on entry, so raising it again ends us).
void OnFatalSignal(int signal) {
  const int savedErrno = errno;
  PutTerminalBack();
  raise(signal);
  errno = savedErrno;
}

// Ctrl+Z: the shell gets its terminal back while we are stopped, and we take it again
// once continued.
void OnStopSignal(int) {
  const int savedErrno = errno;
  PutTerminalBack();
  struct sigaction stop{};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction ours{};
  sigaction(SIGTSTP, &stop, &ours);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  raise(SIGTSTP);  // stops here until SIGCONT
  sigaction(SIGTSTP, &ours, nullptr);
  const termios raw = RawModeOf(gRestore.mode);
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  errno = savedErrno;
}

// Raw keys for one interactive session, and the terminal as it was found on every way
// out: a return, an exception, or a signal.
class TerminalSession {
 public:
  TerminalSession(std::FILE* out, const char* closing) : out_(out) {
    ok_ = tcgetattr(STDIN_FILENO, &gRestore.mode) == 0;
    if (!ok_) return;
    gRestore.outFd = fileno(out);
    gRestore.closing = closing;
    struct sigaction fatal{};
    fatal.sa_handler = OnFatalSignal;
    fatal.sa_flags = SA_RESETHAND;
    sigemptyset(&fatal.sa_mask);
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) sigaction(kFatalSignals[i], &fatal, &previous_[i]);
    struct sigaction stop{};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTSTP, &stop, &previousStop_);
    const termios raw = RawModeOf(gRestore.mode);
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ~TerminalSession() {
    if (!ok_) return;
    std::fflush(out_);
    PutTerminalBack();
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) sigaction(kFatalSignals[i], &previous_[i], nullptr);
    sigaction(SIGTSTP, &previousStop_, nullptr);
    gRestore.outFd = -1;
  }
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

 private:
  std::FILE* out_;
  bool ok_ = false;
  std::array<struct sigaction, kFatalSignals.size()> previous_{};
  struct sigaction previousStop_{};
};

// A signal that was handled (the return from a suspend) interrupts the wait without
// ending it; the wait then starts again in full.
bool ReadByte(unsigned char& byte, int timeoutMs) {
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  int ready = 0;
  while ((ready = poll(&fd, 1, timeoutMs)) < 0 && errno == EINTR) {
  }
  if (ready <= 0) return false;
  ssize_t got = 0;
  while ((got = read(STDIN_FILENO, &byte, 1)) < 0 && errno == EINTR) {
  }
  return got == 1;
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
  TerminalSession session(window.Out(), window.Closing());
  while (!window.Ended()) {
    const KeyPress press = ReadKey();
    if (press.key == TermKey::Quit) break;
    if (window.IsMinimized()) {
      window.Restore();  // a minimised window has no keyboard: the key only brings it back
      continue;
    }
    if (press.key == TermKey::None) continue;
    if (press.key == TermKey::Open) {
      RunHandler(form, mnuFileOpen_Click);
    } else {
      RunHandler(form, [&press](Form& f) { Form_KeyDown(f, press.keyCode); });
    }
    window.Handed(press.keyCode);
  }
  return true;
}

#endif  // _WIN32

}  // namespace quillshade
