// The toolkit's file edges: refusing what cannot be read, replacing outputs whole.
#include "tools/qsd/lib/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace quillshade::qsd {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qsd_files_test_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const char* name) const { return (folder_ / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {})); }

  fs::path folder_;
};

TEST_F(FilesTest, ReadsARegularFileWhole) {
  std::ofstream(Path("a.txt"), std::ios::binary) << std::string("a\0b", 3);
  const Result<std::string> input = ReadInput(Path("a.txt"));
  ASSERT_TRUE(input.ok());
  EXPECT_EQ(input.value(), std::string("a\0b", 3));
}

std::string WhyNot(const Result<std::string>& input) { return input.ok() ? std::string() : input.error().message; }

TEST_F(FilesTest, RefusesWhatIsNoRegularFile) {
  EXPECT_EQ(WhyNot(ReadInput(Path("missing"))), "no such file");
  EXPECT_EQ(WhyNot(ReadInput(Path("missing/deeper"))), "no such file");
  EXPECT_EQ(WhyNot(ReadInput(folder_.string())), "is a folder, not a file");
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  // A pipe with no writer would block a reader forever; it is refused unopened.
  EXPECT_EQ(WhyNot(ReadInput(Path("fifo"))), "not a regular file (a device, pipe or socket)");
  EXPECT_EQ(CheckReadable(Path("fifo")).error().message, "not a regular file (a device, pipe or socket)");
  EXPECT_FALSE(ReadInput("/dev/zero").ok());
}

TEST_F(FilesTest, RefusesAFileLargerThanTheLimit) {
  std::ofstream(Path("big")) << std::string(2000, 'x');
  EXPECT_NE(WhyNot(ReadInput(Path("big"), 1000)).find("too large"), std::string::npos);
}

TEST_F(FilesTest, ReplacesAnExistingFileAndLeavesNoTemporaryFile) {
  std::ofstream(Path("out.qsd")) << "old contents that are longer";
  EXPECT_TRUE(WriteOutput(Path("out.qsd"), "new").ok());
  EXPECT_EQ(Contents(Path("out.qsd")), "new");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(FilesTest, AnOutputWrittenInPiecesReplacesTheFileOnlyWhenCommitted) {
  std::ofstream(Path("out.txt")) << "old";
  {
    OutputFile out(Path("out.txt"));
    ASSERT_TRUE(out.Open().ok());
    ASSERT_TRUE(out.Write("half").ok());
    EXPECT_EQ(Contents(Path("out.txt")), "old");  // never half-written
  }  // given up without Commit: the temporary file goes, the old file stays
  EXPECT_EQ(Contents(Path("out.txt")), "old");
  EXPECT_EQ(Entries(), 1u);
  OutputFile out(Path("out.txt"));
  ASSERT_TRUE(out.Open().ok());
  ASSERT_TRUE(out.Write("new, ").ok());
  ASSERT_TRUE(out.Write("in two pieces").ok());
  ASSERT_TRUE(out.Commit().ok());
  EXPECT_EQ(Contents(Path("out.txt")), "new, in two pieces");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(FilesTest, AFailedWriteLeavesNothingBehind) {
  const Result<void> written = WriteOutput(Path("no/such/folder/out.qsd"), "x");
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.error().message.find("cannot be created"), std::string::npos);
  EXPECT_EQ(Entries(), 0u);
  EXPECT_FALSE(WriteOutput(folder_.string(), "x").ok());  // a folder is never replaced
  EXPECT_TRUE(fs::is_directory(folder_));
}

TEST_F(FilesTest, WritesThroughASymbolicLink) {
  std::ofstream(Path("target.qsd")) << "old";
  fs::create_symlink(Path("target.qsd"), Path("link.qsd"));
  EXPECT_TRUE(WriteOutput(Path("link.qsd"), "new").ok());
  EXPECT_TRUE(fs::is_symlink(Path("link.qsd")));
  EXPECT_EQ(Contents(Path("target.qsd")), "new");
}

TEST_F(FilesTest, WritesIntoADeviceDirectly) { EXPECT_TRUE(WriteOutput("/dev/null", "discarded").ok()); }

}  // namespace
}  // namespace quillshade::qsd
