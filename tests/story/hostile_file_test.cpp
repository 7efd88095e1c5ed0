// Files that are no story at all: each is refused or decoded by the rules, never a crash,
// a hang, or a file read whole into memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <limits>
#include <random>
#include <thread>

#include "story/encode.h"
#include "story/story_file.h"
#include "tests/story/decode_reference.h"
#include "tests/ui/fake_window.h"
#include "ui/form.h"

namespace quillshade {
namespace {

namespace fs = std::filesystem;

// A read that does not come back in time is a hang: the test run stops with a message
// rather than waiting for ever.
StoryFile ReadWithin(const fs::path& path, const StoryFileOptions& options = {}) {
  auto done = std::make_shared<std::promise<StoryFile>>();
  std::future<StoryFile> result = done->get_future();
  std::thread([done, path, options] { done->set_value(ReadStoryFile(path, Cp932CodePage(), options)); }).detach();
  if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << path << " was still being read after 20 s";
    std::_Exit(1);
  }
  return result.get();
}

long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class HostileFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qsd_hostile_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_ / "locked", fs::perms::owner_all, ignored);
    fs::remove_all(dir_);
  }
  fs::path Write(const std::string& name, std::string_view content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
  }
  // A file of `size` bytes that are all NUL, taking no room on disk.
  fs::path Sparse(const std::string& name, std::uintmax_t size, std::string_view tail) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary).put('\0');
    fs::resize_file(path, size);
    std::ofstream(path, std::ios::binary | std::ios::app).write(tail.data(), static_cast<std::streamsize>(tail.size()));
    return path;
  }
  fs::path Socket(const std::string& name) {
    const fs::path path = dir_ / name;
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.native().copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    close(fd);
    return path;
  }

  fs::path dir_;
};

TEST_F(HostileFile, EmptyBlankAndNulFilesDecodeToNothing) {
  for (const std::string_view content : {std::string_view(""), std::string_view("      "),
                                         std::string_view("\0\0\0\0", 4), std::string_view("\r\n\r\n\t")}) {
    const StoryFile file = ReadWithin(Write("blank.qsd", content));
    EXPECT_EQ(file.status, StoryFileStatus::Loaded);
    EXPECT_EQ(file.text, u"");
  }
  // A NUL inside a token spoils that token only.
  EXPECT_EQ(ReadWithin(Write("nul.qsd", std::string_view("65\0 66 6\0\x37 67", 13))).text, u"BC");
}

TEST_F(HostileFile, GigabyteTokenIsScannedNotBuffered) {
  // One token of a gigabyte of digits, fed as a reader would feed it: a megabyte at a time.
  const std::string digits(1 << 20, '7');
  std::u16string text;
  std::vector<BadToken> bad;
  CodeDecoder decoder(Cp932CodePage(), text);
  decoder.onBadToken = [&](const BadToken& token) { bad.push_back(token); };
  for (int i = 0; i < 1024; ++i) decoder.Feed(digits);
  decoder.Feed(" 65");
  decoder.Finish();
  EXPECT_EQ(text, u"A");
  EXPECT_EQ(bad, (std::vector<BadToken>{{0, std::uint64_t{1} << 30, TokenFault::OutOfRange}}));

  // A gigabyte file that is one token of NULs, then a code: read through without the
  // file or its token ever being held.
  const long peakBefore = PeakResidentKiB();
  const StoryFile file = ReadWithin(Sparse("huge.qsd", std::uintmax_t{1} << 30, " 65 "));
  EXPECT_EQ(file.status, StoryFileStatus::Loaded);
  EXPECT_EQ(file.text, u"A");
  // Far below the gigabyte, even with a sanitizer's shadow of the room set aside for
  // the text (an eighth of it), which the text itself never touches.
  EXPECT_LT(PeakResidentKiB() - peakBefore, 256 * 1024) << "KiB more at the peak";
}

TEST_F(HostileFile, RandomBinaryDecodesByTheRules) {
  std::mt19937 random(42);
  std::string bytes(3 << 20, '\0');
  // Spaces and digits are made common, so that some tokens of the noise are valid codes.
  for (char& byte : bytes) {
    const unsigned roll = random() % 8;
    byte = roll == 0 ? ' ' : roll < 3 ? static_cast<char>('0' + random() % 10) : static_cast<char>(random());
  }
  const StoryFile file = ReadWithin(Write("noise.qsd", bytes));
  EXPECT_EQ(file.status, StoryFileStatus::Loaded);
  EXPECT_EQ(file.text, test::ReferenceDecode(bytes, Cp932CodePage()).text);
  EXPECT_FALSE(file.text.empty());
}

TEST_F(HostileFile, Utf16TextDecodesToNothing) {
  // Every code of a story saved as UTF-16 has a NUL beside each digit.
  std::string little = "\xFF\xFE";
  std::string big = "\xFE\xFF";
  for (const char c : std::string_view("72 105 13 10 ")) {
    little += c;
    little += '\0';
    big += '\0';
    big += c;
  }
  EXPECT_EQ(ReadWithin(Write("utf16le.qsd", little)).text, u"");
  EXPECT_EQ(ReadWithin(Write("utf16be.qsd", big)).text, u"");
}

TEST_F(HostileFile, FileThatChangesWhileReadIsAFailedLoad) {
  std::string story;
  while (story.size() < (3 << 20)) story += "65 ";
  const fs::path path = Write("changing.qsd", story);
  StoryFileOptions grow;
  grow.afterRead = [&](std::uintmax_t bytesRead) {
    if (bytesRead < story.size()) std::ofstream(path, std::ios::binary | std::ios::app) << "66 ";
  };
  const StoryFile grown = ReadWithin(path, grow);
  EXPECT_EQ(grown.status, StoryFileStatus::Changed);
  EXPECT_EQ(grown.text, u"");

  Write("changing.qsd", story);
  StoryFileOptions shrink;
  shrink.afterRead = [&](std::uintmax_t) { fs::resize_file(path, 1000); };
  const StoryFile shrunk = ReadWithin(path, shrink);
  EXPECT_EQ(shrunk.status, StoryFileStatus::Changed);
  EXPECT_EQ(shrunk.text, u"");
}

TEST_F(HostileFile, MoreCodesThanPositionsCanAddressIsAFailedLoad) {
  // The step after a story's last line answers its length + 1, which must be a 32-bit
  // position; that is the limit every load uses unless told otherwise.
  EXPECT_EQ(kMaxStoryLength + 1, static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()));

  const fs::path path = Write("long.qsd", "65 66 67 68\r\n");
  StoryFileOptions options;
  options.maxLength = 4;
  EXPECT_EQ(ReadWithin(path, options).text, u"ABCD");
  options.maxLength = 3;
  const StoryFile file = ReadWithin(path, options);
  EXPECT_EQ(file.status, StoryFileStatus::TooLong);
  EXPECT_EQ(file.text, u"");
}

TEST_F(HostileFile, FoldersDevicesPipesAndSocketsAreRefusedAtOnce) {
  ASSERT_EQ(mkfifo((dir_ / "fifo.qsd").c_str(), 0600), 0);
  fs::create_directory_symlink("/dev", dir_ / "devices");
  fs::create_symlink("/dev/zero", dir_ / "zero.qsd");
  const std::vector<fs::path> paths{dir_,         dir_ / "fifo.qsd", Socket("socket.qsd"), dir_ / "zero.qsd",
                                    "/dev/zero",  "/dev/urandom",    "/dev/full",           "/dev/null",
                                    dir_ / "devices" / "zero"};
  for (const fs::path& path : paths) EXPECT_EQ(ReadWithin(path).status, StoryFileStatus::NotARegularFile) << path;
}

TEST_F(HostileFile, SystemFilesOfNoSizeAreNotRead) {
  // /proc/self/status holds text but claims a size of 0, like files that block or hand
  // out each byte once; its text is never read.
  const StoryFile file = ReadWithin("/proc/self/status");
  EXPECT_EQ(file.status, StoryFileStatus::Loaded);
  EXPECT_EQ(file.text, u"");
}

TEST_F(HostileFile, LoopOfLinksCannotBeOpened) {
  fs::create_symlink(dir_ / "loop.qsd", dir_ / "loop.qsd");
  EXPECT_EQ(ReadWithin(dir_ / "loop.qsd").status, StoryFileStatus::CannotOpen);
  EXPECT_EQ(ReadWithin(dir_ / "missing" / "story.qsd").status, StoryFileStatus::NotFound);
}

TEST_F(HostileFile, PathWithoutPermissionCannotBeOpened) {
  // Root reads every file, so the reads run in a child that has given root up.
  const fs::path locked = Write("locked.qsd", "65 ");
  fs::permissions(locked, fs::perms::none);
  fs::create_directory(dir_ / "locked");
  Write("locked/inside.qsd", "65 ");
  fs::permissions(dir_ / "locked", fs::perms::none);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
    const bool lockedFile = ReadStoryFile(locked, Cp932CodePage()).status == StoryFileStatus::CannotOpen;
    const bool lockedFolder =
        ReadStoryFile(dir_ / "locked" / "inside.qsd", Cp932CodePage()).status == StoryFileStatus::CannotOpen;
    _exit((lockedFile ? 0 : 1) | (lockedFolder ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "running as root without the right to give it up";
  EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "a file without read permission was not refused";
  EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "a file in a folder without permission was not refused";
}

TEST_F(HostileFile, EveryHostileFileLeavesTheLoadedStoryAsItWas) {
  test::FakeWindow window;
  Form form(window, Cp932CodePage());
  window.dialogAnswers.push_back(Write("good.qsd", EncodeStory(u"Hi\r\nBye\r\n").codes));
  mnuFileOpen_Click(form);
  Form_KeyDown(form, keys::kDown);
  form.story.FlagD = kTrue;
  form.story.ChoiceList = u"[A],[B]";
  const Story before = form.story;
  const std::u16string caption = form.caption;
  ASSERT_EQ(caption, u"Bye");

  ASSERT_EQ(mkfifo((dir_ / "fifo.qsd").c_str(), 0600), 0);
  fs::create_symlink(dir_ / "loop.qsd", dir_ / "loop.qsd");
  const std::vector<fs::path> hostile{
      dir_ / "missing.qsd",  dir_,
      dir_ / "fifo.qsd",     "/dev/zero",
      dir_ / "loop.qsd",     Socket("socket.qsd"),
      Write("empty.qsd", ""), Write("spaces.qsd", "    "),
      Write("nul.qsd", std::string(100, '\0')), Write("utf16.qsd", std::string("\xFF\xFE" "6\0" "5\0 \0", 8)),
      Sparse("sparse.qsd", 50 << 20, ""), "/proc/self/status"};
  for (const fs::path& path : hostile) {
    window.dialogAnswers.push_back(path);
    window.messages.clear();
    mnuFileOpen_Click(form);
    ASSERT_EQ(window.messages.size(), 1U) << path;
    EXPECT_EQ(window.messages[0].text, kLoadFailedText) << path;
    EXPECT_EQ(form.caption, caption) << path;
    EXPECT_EQ(window.Caption(), caption) << path;
    EXPECT_FALSE(window.busy) << path;
    EXPECT_EQ(form.story.StoryText, before.StoryText) << path;
    EXPECT_EQ(form.story.ReadPos, before.ReadPos) << path;
    EXPECT_EQ(form.story.ChoiceList, before.ChoiceList) << path;
    EXPECT_EQ(form.story.FlagD, kTrue) << path;
  }
}

}  // namespace
}  // namespace quillshade
