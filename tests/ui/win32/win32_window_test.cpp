// The Win32 window: what its size, caption, keys, menus, dialogs, pointer and errors
// become for the form. The form's own rules are tested in tests/ui.
#include "ui/win32/win32_window.h"

#include <gtest/gtest.h>

#include <cderr.h>
#include <shlobj.h>

#include <fstream>
#include <stdexcept>

#include "dialog_robot.h"
#include "story/code_page.h"
#include "story/encode.h"
#include "story/story_file.h"
#include "ui/win32/resource.h"

namespace quillshade {
namespace {

namespace fs = std::filesystem;
using test::DialogRobot;
using test::PressCancel;
using test::PressOk;
using test::TypeAndOpen;

// A story file's codes for a text, in code page 932.
std::string CodesOf(std::u16string_view text) {
  EncodedStory story = EncodeStory(text);
  if (!story.unencodable.empty()) throw std::invalid_argument("not in code page 932");
  return std::move(story.codes);
}

constexpr std::u16string_view kStory =
    u"First line\r\nPick one ?? yes,no\r\nyes Said yes\r\nno Said no\r\n行灯が揺れる\r\n";

std::wstring WindowText(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return text;
}

class Win32WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    Win32WindowOptions options;
    options.endProgram = [this] { ++endProgramCalls_; };
    options.quitWhenClosed = false;
    window_ = Win32Window::Create(GetModuleHandleW(nullptr), Cp932CodePage(), std::move(options));
    ASSERT_TRUE(window_);
    hwnd_ = window_->Handle();
    ShowWindow(hwnd_, SW_SHOWNORMAL);

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    dir_ = fs::path(temp) / ("quillshade_win32_test_" + std::to_string(GetCurrentProcessId()) + "_" +
                             std::to_string(GetTickCount64()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    window_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path WriteStory(const fs::path& name, std::u16string_view text) {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << CodesOf(text);
    return path;
  }
  void Key(WPARAM key, UINT message = WM_KEYDOWN) { SendMessageW(hwnd_, message, key, 1); }
  void Command(int id) { SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // File > Open through the real dialog, answered with `path`; returns what was seen.
  std::vector<test::SeenDialog> OpenThroughDialog(const std::wstring& path, bool expectFailure) {
    DialogRobot robot;
    robot.Then(TypeAndOpen(path));
    if (expectFailure) robot.Then(PressOk);
    Command(IDM_FILE_OPEN);
    EXPECT_TRUE(robot.AllAnswered());
    return robot.Seen();
  }
  std::wstring Caption() const { return WindowText(hwnd_); }

  std::unique_ptr<Win32Window> window_;
  HWND hwnd_ = nullptr;
  fs::path dir_;
  int endProgramCalls_ = 0;
};

TEST(ExtendedLengthPath, OnlyLongPathsChange) {
  EXPECT_EQ(ExtendedLengthPath(L"C:\\a\\b.qsd"), L"C:\\a\\b.qsd");
  const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\s.qsd";
  EXPECT_EQ(ExtendedLengthPath(deep), L"\\\\?\\" + deep);
  const std::wstring share = L"\\\\server\\share\\" + std::wstring(300, L'd');
  EXPECT_EQ(ExtendedLengthPath(share), L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'd'));
  EXPECT_EQ(ExtendedLengthPath(L"\\\\?\\" + deep), L"\\\\?\\" + deep);
}

TEST(OpenDialogAnswer, OnlyCancelIsNoAnswerAndAFailedDialogIsAFailedLoad) {
  EXPECT_EQ(OpenDialogAnswer(true, 0, L"C:\\s.qsd"), fs::path(L"C:\\s.qsd"));
  EXPECT_EQ(OpenDialogAnswer(false, 0, L""), std::nullopt);
  EXPECT_EQ(OpenDialogAnswer(false, FNERR_BUFFERTOOSMALL, L"\x0100"), fs::path());
  EXPECT_EQ(OpenDialogAnswer(false, CDERR_DIALOGFAILURE, L""), fs::path());
}

TEST_F(Win32WindowTest, StartsAsAWideTitleBarWithTheStartCaption) {
  EXPECT_EQ(Caption(), L"Quillshade Ver.2.0");
  RECT rect{};
  GetWindowRect(hwnd_, &rect);
  EXPECT_EQ(rect.right - rect.left, TwipsToPixels(6750, window_->Dpi()));
  // A height of 0 is raised to the least the window system allows: the title bar.
  EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYMINTRACK));
  const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_NE(GetMenu(hwnd_), nullptr);
}

TEST_F(Win32WindowTest, MenuBarHoldsTheReadersCommands) {
  HMENU bar = GetMenu(hwnd_);
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  auto text = [](HMENU menu, UINT position) {
    wchar_t buffer[64] = {};
    GetMenuStringW(menu, position, buffer, 64, MF_BYPOSITION);
    return std::wstring(buffer);
  };
  EXPECT_EQ(text(bar, 0), L"ﾌｧｲﾙ(&F)");
  EXPECT_EQ(text(bar, 1), L"ﾍﾙﾌﾟ(&H)");
  HMENU file = GetSubMenu(bar, 0);
  HMENU help = GetSubMenu(bar, 1);
  ASSERT_EQ(GetMenuItemCount(file), 2);
  ASSERT_EQ(GetMenuItemCount(help), 1);
  EXPECT_EQ(text(file, 0), L"開く(&O)");
  EXPECT_EQ(text(file, 1), L"終了(&X)");
  EXPECT_EQ(text(help, 0), L"ﾊﾞｰｼﾞｮﾝ情報(&V)");
  EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(IDM_FILE_OPEN));
  EXPECT_EQ(GetMenuItemID(file, 1), static_cast<UINT>(IDM_FILE_CLOSE));
  EXPECT_EQ(GetMenuItemID(help, 0), static_cast<UINT>(IDM_HELP_VER));
}

TEST_F(Win32WindowTest, OpenDialogComesUpWithTheReadersSettingsAndCancelChangesNothing) {
  DialogRobot robot;
  robot.Then(PressCancel);
  Key(VK_DOWN);  // no story yet: Down is File > Open
  ASSERT_EQ(robot.Seen().size(), 1u);
  const test::SeenDialog& dialog = robot.Seen()[0];
  EXPECT_EQ(dialog.title, L"ファイルを開く");
  EXPECT_EQ(dialog.filters, std::vector<std::wstring>{L"Quillshadeファイル(*.qsd)"});
  EXPECT_FALSE(dialog.readOnlyBoxShown);
  EXPECT_EQ(dialog.fileNameBox, L"");
  EXPECT_EQ(Caption(), L"Quillshade Ver.2.0");
  EXPECT_TRUE(window_->form().story.StoryText.empty());
}

// Keys reach the form as their virtual-key codes, with or without Alt held.
TEST_F(Win32WindowTest, KeysAndAltCombinationsReachTheForm) {
  OpenThroughDialog(WriteStory("story.qsd", kStory).wstring(), false);
  EXPECT_EQ(Caption(), L"First line");
  Key(VK_DOWN);
  EXPECT_EQ(Caption(), L"Pick one");
  Key(VK_NUMPAD2, WM_SYSKEYDOWN);
  EXPECT_EQ(Caption(), L"Said no");
  Key(VK_DOWN, WM_SYSKEYDOWN);
  EXPECT_EQ(Caption(), L"行灯が揺れる");
}

TEST_F(Win32WindowTest, SpaceMinimizes) {
  Key(VK_SPACE);
  EXPECT_TRUE(IsIconic(hwnd_));
}

TEST_F(Win32WindowTest, UnicodePathsLoadThroughTheDialog) {
  const fs::path path = WriteStory(fs::path(L"物語の棚") / L"長い夜の物語.qsd", kStory);
  OpenThroughDialog(path.wstring(), false);
  EXPECT_EQ(Caption(), L"First line");
}

// Wine's open dialog cannot take a name longer than the classic limit, so what it would
// answer is handed to the reading side directly.
TEST_F(Win32WindowTest, PathsLongerThanTheClassicLimitLoad) {
  std::wstring deep = dir_.wstring();
  for (int i = 0; i < 12; ++i) {
    deep += L"\\物語のフォルダ_" + std::to_wstring(i) + L"_abcdefghij";
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
  }
  const std::wstring path = deep + L"\\長い道の物語.qsd";
  ASSERT_GT(path.size(), 300u);
  HANDLE file = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const std::string codes = CodesOf(kStory);
  DWORD written = 0;
  WriteFile(file, codes.data(), static_cast<DWORD>(codes.size()), &written, nullptr);
  CloseHandle(file);

  const StoryFile story = ReadStoryFile(ExtendedLengthPath(path), Cp932CodePage());
  EXPECT_EQ(story.status, StoryFileStatus::Loaded);
  EXPECT_EQ(story.text, kStory);
}

// A drop as the shell makes it: a DROPFILES header, then the names, each ended by a NUL,
// and one more NUL after the last.
HDROP DropOf(const std::vector<std::wstring>& names) {
  std::wstring list;
  for (const std::wstring& name : names) list += name + L'\0';
  list += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  list.copy(reinterpret_cast<wchar_t*>(drop + 1), list.size());
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

TEST_F(Win32WindowTest, ADroppedFileLoadsAndOnlyTheFirstCounts) {
  EXPECT_NE(GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  const fs::path first = WriteStory(L"落とした 物語.qsd", kStory);
  const fs::path second = WriteStory(L"other.qsd", u"Other\r\n");
  SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({first.wstring(), second.wstring()})), 0);
  EXPECT_EQ(Caption(), L"First line");
}

TEST(PathOfArgument, MakesARelativeNameWholeAgainstTheWorkingFolder) {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  EXPECT_EQ(PathOfArgument(L"物語 の 棚\\s.qsd"), fs::path(folder) / L"物語 の 棚" / L"s.qsd");
  EXPECT_EQ(PathOfArgument(L"C:\\a\\..\\b.qsd"), fs::path(L"C:\\b.qsd"));
}

// The dialog hands a typed name over as it is, so a name that is no story ends in the
// failure box rather than in the dialog's own complaint. (A typed folder is not here: the
// dialog opens it instead of answering with it.)
TEST_F(Win32WindowTest, TypedNamesThatAreNoStoryReachTheForm) {
  for (const std::wstring& name : {(dir_ / "missing.qsd").wstring(), std::wstring(L"NUL")}) {
    SCOPED_TRACE(testing::Message() << "name " << fs::path(name).string());
    const std::vector<test::SeenDialog> seen = OpenThroughDialog(name, true);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].text, L"ファイルが開けません");
    EXPECT_FALSE(window_->Busy());
  }
}

TEST_F(Win32WindowTest, MessageBoxesHaveOkOnlyAndNoIcon) {
  DialogRobot robot;
  robot.Then(PressOk).Then(PressOk);
  Command(IDM_HELP_VER);
  window_->ShowMessage(u"ファイルが開けません", u"エラー");
  ASSERT_EQ(robot.Seen().size(), 2u);
  const test::SeenDialog& version = robot.Seen()[0];
  EXPECT_EQ(version.title, L"Quillshade");
  EXPECT_EQ(version.text.substr(0, 23), L"Quillshade Ver.2.01\r\n\r\n");
  EXPECT_GT(version.text.size(), 23u);
  for (const test::SeenDialog& box : robot.Seen()) {
    EXPECT_EQ(box.pushButtons, 1);
    EXPECT_FALSE(box.iconShown);
  }
  EXPECT_EQ(robot.Seen()[1].title, L"エラー");
}

TEST_F(Win32WindowTest, FileExitEndsTheProgram) {
  Command(IDM_FILE_CLOSE);
  EXPECT_EQ(endProgramCalls_, 1);
}

TEST_F(Win32WindowTest, BusyPointerShowsAtOnceAndOverTheWholeWindow) {
  const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  window_->SetBusyPointer(true);
  EXPECT_EQ(GetCursor(), wait);
  SetCursor(arrow);
  EXPECT_TRUE(SendMessageW(hwnd_, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd_), MAKELPARAM(HTCAPTION, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), wait);
  window_->SetBusyPointer(false);
  EXPECT_EQ(GetCursor(), arrow);
}

TEST_F(Win32WindowTest, AnExceptionInAHandlerIsShownInABox) {
  DialogRobot robot;
  robot.Then(PressOk);
  window_->RunHandler([](Form& form) {
    form.window.SetBusyPointer(true);
    form.window.SetCaption(u"half done");
    throw std::runtime_error("disk on fire");
  });
  ASSERT_EQ(robot.Seen().size(), 1u);
  EXPECT_NE(robot.Seen()[0].text.find(L"disk on fire"), std::wstring::npos);
  EXPECT_EQ(robot.Seen()[0].title, L"Quillshade");
  EXPECT_EQ(Caption(), L"Quillshade Ver.2.0");
  EXPECT_FALSE(window_->Busy());
}

}  // namespace
}  // namespace quillshade
