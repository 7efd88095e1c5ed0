// The terminal of qsd play: its mode comes back however the session ends.
#include "ui/term/terminal_window.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

namespace quillshade {
namespace {

// A terminal session as a shell runs it: on a new pseudo-terminal, a child acts as the
// shell and runs the reader as a job, in a process group of its own in the terminal's
// foreground, then ends as the job ended (128 + the signal when a signal ended it).
// The test holds the terminal's other end. `prepare` may set the window up before the
// keys are read; without it the caption is drawn on a line.
class TerminalChild {
 public:
  explicit TerminalChild(const std::function<void(TerminalWindow&, Form&)>& prepare = {}) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ != 0) return;
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      while (tcgetpgrp(STDIN_FILENO) != getpid()) usleep(1000);
      TerminalWindow window({}, prepare ? CaptionPlace::None : CaptionPlace::Line);
      Form form(window, Cp932CodePage());
      RunHandler(form, Form_Load);
      if (prepare) prepare(window, form);
      RunInteractive(form, window);
      std::_Exit(0);
    }
    setpgid(job, job);
    tcsetpgrp(STDIN_FILENO, job);
    int status = 0;
    waitpid(job, &status, 0);
    std::_Exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
  }
  ~TerminalChild() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(pid_, SIGKILL);  // the job then hears the terminal hang up
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  TerminalChild(const TerminalChild&) = delete;
  TerminalChild& operator=(const TerminalChild&) = delete;

  void Type(const char* keys) const { ASSERT_GT(write(master_, keys, std::char_traits<char>::length(keys)), 0); }
  void SignalTheJob(int signal) const { kill(-tcgetpgrp(master_), signal); }
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
  // Waits, boundedly, until the job has stopped itself: the terminal comes back cooked
  // just before it does, and a SIGCONT sent in between would be lost.
  bool WaitUntilStopped() const {
    const std::string stat = "/proc/" + std::to_string(tcgetpgrp(master_)) + "/stat";
    for (int i = 0; i < 500; ++i) {
      std::ifstream file(stat);
      std::string pid, name, state;
      if (file >> pid >> name >> state && state == "T") return true;
      usleep(10'000);
    }
    return false;
  }
  // What the job wrote to the terminal until it wrote `last`, waiting boundedly.
  std::string OutputUntil(std::string_view last) const {
    std::string output;
    for (int i = 0; i < 1000 && output.find(last) == std::string::npos; ++i) {
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, 10) <= 0) continue;
      char buffer[256];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      if (got <= 0) break;
      output.append(buffer, static_cast<std::size_t>(got));
    }
    return output;
  }
  // How the job ended: 0 when it quit, 128 + the signal that ended it; -1 when it has
  // not ended within ten seconds, and is then ended.
  int Ended() const {
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      const pid_t ended = waitpid(pid_, &status, WNOHANG);
      if (ended == pid_) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      if (ended < 0) return -1;
      usleep(10'000);
    }
    return -1;  // still running: the destructor ends it
  }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
};

TEST(TerminalSession, ComesBackOnQuitAndOnEverySignal) {
  {
    TerminalChild session;
    ASSERT_TRUE(session.WaitUntilCooked(false));
    session.Type("q");
    EXPECT_EQ(session.Ended(), 0);
    EXPECT_TRUE(session.Cooked());
  }
  {
    TerminalChild session;  // Ctrl+C from the keyboard
    ASSERT_TRUE(session.WaitUntilCooked(false));
    session.Type("\x03");
    EXPECT_EQ(session.Ended(), 128 + SIGINT);
    EXPECT_TRUE(session.Cooked());
  }
  for (const int signal : {SIGTERM, SIGHUP, SIGABRT}) {
    TerminalChild session;
    ASSERT_TRUE(session.WaitUntilCooked(false));
    session.SignalTheJob(signal);
    EXPECT_EQ(session.Ended(), 128 + signal);
    EXPECT_TRUE(session.Cooked()) << signal;
  }
}

TEST(TerminalSession, SuspendGivesTheTerminalBackUntilContinued) {
  TerminalChild session;
  ASSERT_TRUE(session.WaitUntilCooked(false));
  session.Type("\x1a");  // Ctrl+Z
  EXPECT_TRUE(session.WaitUntilCooked(true));
  ASSERT_TRUE(session.WaitUntilStopped());
  session.SignalTheJob(SIGCONT);
  EXPECT_TRUE(session.WaitUntilCooked(false));
  session.Type("q");
  EXPECT_EQ(session.Ended(), 0);
  EXPECT_TRUE(session.Cooked());
}

TEST(TerminalSession, TellsEachKeyHandedToTheForm) {
  // The listener writes each key code, and "m" when the key left the window minimised:
  // it runs after the form had the key.
  TerminalChild session([](TerminalWindow& window, Form&) {
    window.OnKeyHanded([&window](int keyCode) {
      std::printf("%d%s.", keyCode, window.IsMinimized() ? "m" : "");
      std::fflush(stdout);
    });
  });
  ASSERT_TRUE(session.WaitUntilCooked(false));
  // Down three ways, a choice key, Open, Space, 5. Neither z, no key of the form, nor x,
  // which only brings the minimised window back, reaches the listener.
  session.Type("j\r\x1b[B1zo x5");
  EXPECT_EQ(session.OutputUntil("53."), "40.40.40.49.0.32m.53.");
  session.Type("q");
  EXPECT_EQ(session.Ended(), 0);
}

}  // namespace
}  // namespace quillshade
