// Reading story files on Windows: device names, pipes and folders are never read.
#include "story/story_file.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace quillshade {
namespace {

StoryFileStatus StatusOf(const std::wstring& path) { return ReadStoryFile(path, Cp932CodePage()).status; }

TEST(StoryFileOnWindows, DevicesPipesAndFoldersAreRefusedWithoutReading) {
  // A pipe with no writer: reading it would wait forever.
  HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\quillshade_story_file_test", PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0,
                                 0, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  for (const std::wstring& name :
       {std::wstring(L"NUL"), std::wstring(L"CON"), std::wstring(L"COM1"), std::wstring(L"CONIN$"),
        std::wstring(L"\\\\.\\NUL"), std::wstring(L"\\\\.\\C:"), std::wstring(L"\\\\.\\pipe\\quillshade_story_file_test"),
        std::wstring(temp) + L"nul.qsd", std::wstring(temp) + L"CON", std::wstring(temp),
        std::wstring(temp) + L"surely_missing.qsd"}) {
    const StoryFileStatus status = StatusOf(name);
    EXPECT_TRUE(status == StoryFileStatus::NotFound || status == StoryFileStatus::NotARegularFile ||
                status == StoryFileStatus::CannotOpen)
        << std::string(name.begin(), name.end()) << ": " << Describe(status);
  }
  CloseHandle(pipe);
}

}  // namespace
}  // namespace quillshade
