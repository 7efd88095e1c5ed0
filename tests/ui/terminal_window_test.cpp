// The terminal of qsd play: its mode comes back however the session ends.
#include "ui/term/terminal_window.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace quillshade {
namespace {

// A child process reading keys on a new pseudo-terminal, as `qsd play` does on the
// user's; the parent holds the terminal's other end.
class TerminalChild {
 public:
  TerminalChild() {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      TerminalWindow window({}, CaptionPlace::Line);
      Form form(window, Cp932CodePage());
      RunHandler(form, Form_Load);
      RunInteractive(form, window);
      std::_Exit(0);
    }
  }
  ~TerminalChild() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  TerminalChild(const TerminalChild&) = delete;
  TerminalChild& operator=(const TerminalChild&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  void Type(const char* keys) const { ASSERT_GT(write(master_, keys, std::char_traits<char>::length(keys)), 0); }
  // Whether the terminal echoes and reads whole lines, as a shell leaves it.
  bool Cooked() const {
    termios mode{};
    tcgetattr(master_, &mode);
    return (mode.c_lflag & (ECHO | ICANON)) == (ECHO | ICANON);
  }
  // Waits, boundedly, until the terminal is cooked (or raw) as asked.
  bool WaitUntilCooked(bool cooked) const {
    for (int i = 0; i < 500; ++i) {
      if (Cooked() == cooked) return true;
      usleep(10'000);
    }
    return false;
  }
  // The child's wait status once it stops or ends.
  int Wait(int options = 0) const {
    int status = 0;
    waitpid(pid_, &status, options);
    return status;
  }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
};

TEST(TerminalSession, ComesBackOnQuitAndOnEverySignal) {
  {
    TerminalChild child;
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitUntilCooked(false));
    child.Type("q");
    EXPECT_TRUE(WIFEXITED(child.Wait()));
    EXPECT_TRUE(child.Cooked());
  }
  {
    TerminalChild child;  // Ctrl+C from the keyboard
    ASSERT_TRUE(child.WaitUntilCooked(false));
    child.Type("\x03");
    const int status = child.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_TRUE(child.Cooked());
  }
  for (const int signal : {SIGTERM, SIGHUP, SIGABRT}) {
    TerminalChild child;
    ASSERT_TRUE(child.WaitUntilCooked(false));
    kill(child.Pid(), signal);
    const int status = child.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_TRUE(child.Cooked()) << signal;
  }
}

}  // namespace
}  // namespace quillshade
