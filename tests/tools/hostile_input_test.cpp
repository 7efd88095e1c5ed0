// qsd's commands on hostile story files: their peak memory stays near the decoded text,
// however the file is shaped, measured on each command's own process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/lib/source_encoder.h"

namespace quillshade::qsd {
namespace {

namespace fs = std::filesystem;

// Runs a command in a child process with its output thrown away; answers the child's
// peak resident memory in KiB, or -1 when it failed. The child starts as a copy of this
// test, which holds nothing large.
long PeakKiBOf(int (*run)(const Arguments&), const Arguments& args) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    _exit(run(args));
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? usage.ru_maxrss : -1;
}

class HostileInput : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qsd_hostile_input_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // `unit` over and over, to `bytes` bytes, written a piece at a time.
  std::string Repeated(const std::string& name, const std::string& unit, std::size_t bytes) {
    std::string piece;
    while (piece.size() < (1 << 20)) piece += unit;
    const fs::path path = dir_ / name;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < bytes; written += piece.size()) out << piece;
    return path.string();
  }
  std::string Out() const { return (dir_ / "out.txt").string(); }

  fs::path dir_;
};

// Each shape, 24 MB: every other token adds nothing, and one character a line. Beside
// the text (two bytes a code unit) a command may hold what a tiny story of the same
// shape costs it and 16 MiB more, but never the file itself, nor the text a second
// time, nor a record of every bad token.
TEST_F(HostileInput, DecodeHoldsTheTextAndLittleElse) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine, so the peak says nothing here";
#endif
  constexpr std::size_t kBytes = 24 << 20;
  struct Shape {
    const char* name;
    std::string unit;
    std::size_t unitsPerRepeat;
  };
  // Every other token is bad on purpose, which no encoder writes.
  for (const Shape& shape :
       {Shape{"every-other-bad.qsd", "65 x ", 1}, Shape{"short-lines.qsd", EncodeStory(u"A\r\n").codes, 3}}) {
    const std::string tiny = Repeated(std::string("tiny-") + shape.name, shape.unit, 1);
    const std::string story = Repeated(shape.name, shape.unit, kBytes);
    const long textKiB = static_cast<long>(kBytes / shape.unit.size() * shape.unitsPerRepeat * 2 / 1024);
    for (const bool toFile : {false, true}) {
      Arguments tinyArgs{tiny};
      Arguments args{story};
      if (toFile) {
        tinyArgs.insert(tinyArgs.end(), {"-o", Out()});
        args.insert(args.end(), {"-o", Out()});
      }
      const long baseline = PeakKiBOf(RunDecode, tinyArgs);
      const long peak = PeakKiBOf(RunDecode, args);
      ASSERT_GT(baseline, 0);
      EXPECT_LE(peak, baseline + textKiB + 16 * 1024)
          << shape.name << (toFile ? " to a file" : " to stdout") << ": " << baseline << " KiB for a tiny one";
    }
  }
}

// A story of a single line, so that check's work on the lines is nothing: what is left is
// the reading and the millions of bad tokens, named a hundred and counted after that.
TEST_F(HostileInput, CheckOfAFileOfBadTokensHoldsTheTextAndLittleElse) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine, so the peak says nothing here";
#endif
  constexpr std::size_t kBytes = 24 << 20;
  const long baseline = PeakKiBOf(RunCheck, {Repeated("tiny.qsd", "65 x ", 1)});
  const long peak = PeakKiBOf(RunCheck, {Repeated("every-other-bad.qsd", "65 x ", kBytes)});
  ASSERT_GT(baseline, 0);
  EXPECT_LE(peak, baseline + static_cast<long>(kBytes / 5 * 2 / 1024) + 16 * 1024) << baseline << " KiB for a tiny one";
}

// Millions of lines, empty, of one character, or each a jump of its own: graph and check
// keep a few bytes a line beside the text; graph stops at its node limit, and check's
// walk at its default number of states, some 25 MB.
TEST_F(HostileInput, MillionsOfLinesCostAFewBytesEach) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine, so the peak says nothing here";
#endif
  constexpr std::size_t kBytes = 4 << 20;
  struct Shape {
    const char* name;
    std::string unit;
    std::size_t unitsPerRepeat;
  };
  for (const Shape& shape : {Shape{"empty-lines.qsd", EncodeStory(u"\r\n").codes, 2},
                             Shape{"short-lines.qsd", EncodeStory(u"A\r\n").codes, 3},
                             Shape{"jumps-to-nowhere.qsd", EncodeStory(u">>x\r\n").codes, 5}}) {
    const long textKiB = static_cast<long>(kBytes / shape.unit.size() * shape.unitsPerRepeat * 2 / 1024);
    const std::string tiny = Repeated(std::string("tiny-") + shape.name, shape.unit, 1);
    const std::string story = Repeated(shape.name, shape.unit, kBytes);
    for (const bool graph : {true, false}) {
      const auto run = graph ? RunGraph : RunCheck;
      const long baseline = PeakKiBOf(run, graph ? Arguments{tiny, "-o", Out()} : Arguments{tiny});
      const long peak = PeakKiBOf(run, graph ? Arguments{story, "-o", Out()} : Arguments{story});
      ASSERT_GT(baseline, 0);
      EXPECT_LE(peak, baseline + textKiB + (graph ? 16 : 64) * 1024)
          << shape.name << (graph ? " graph" : " check") << ": " << baseline << " KiB for a tiny one";
    }
  }
}

}  // namespace
}  // namespace quillshade::qsd
