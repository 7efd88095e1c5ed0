// The resources of the built quillshade.exe: its menu, its three-image icon, its manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ui/win32/resource.h"

namespace {

// The reader's path as the build knows it; under Wine a Unix path is reached through Z:.
std::wstring ExePath() {
  std::string path = QUILLSHADE_EXE_PATH;
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
  return std::wstring(path.begin(), path.end());
}

class ReaderResources : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "cannot load " << QUILLSHADE_EXE_PATH;
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string Bytes(LPCWSTR type, int id) {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    return std::string(data, SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colourCount, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(ReaderResources, IconHasThreeSixteenColourImages) {
  const std::string group = Bytes(RT_GROUP_ICON, IDI_QUILLSHADE);
  ASSERT_GE(group.size(), 6u);
  WORD count = 0;
  memcpy(&count, group.data() + 4, sizeof count);
  ASSERT_EQ(count, 3);
  ASSERT_EQ(group.size(), 6 + 3 * sizeof(GroupIconEntry));
  for (int i = 0; i < 3; ++i) {
    GroupIconEntry entry;
    memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
    EXPECT_EQ(entry.width, 16 * (i + 1));
    EXPECT_EQ(entry.height, 16 * (i + 1));
    EXPECT_EQ(entry.bitCount, 4);
    EXPECT_FALSE(Bytes(RT_ICON, entry.id).empty());
  }
}

TEST_F(ReaderResources, MenuHasTheFileAndHelpMenus) {
  HMENU menu = LoadMenuW(module_, MAKEINTRESOURCEW(IDR_MAINMENU));
  ASSERT_NE(menu, nullptr);
  wchar_t text[64] = {};
  GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"ﾌｧｲﾙ(&F)");
  GetMenuStringW(GetSubMenu(menu, 1), IDM_HELP_VER, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"ﾊﾞｰｼﾞｮﾝ情報(&V)");
  DestroyMenu(menu);
}

TEST_F(ReaderResources, ManifestAsksForPerMonitorDpiAndLeavesTheCodePageAlone) {
  const std::string manifest = Bytes(RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find(">PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest.find(">true/pm<"), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
  EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos);
}

}  // namespace
