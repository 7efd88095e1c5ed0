// Fuzz target: the form and the engine driven by an arbitrary story and key presses,
// with the story state checked after every step.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/ui/fake_window.h"
#include "ui/form.h"

namespace {

namespace fs = std::filesystem;
using quillshade::Form;
using quillshade::Story;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

const fs::path& StoryPath();

void RemoveStoryFile() {
  std::error_code ignored;
  fs::remove(StoryPath(), ignored);
}

// The story file this process writes its inputs to, removed when the process ends.
const fs::path& StoryPath() {
  static const fs::path path = fs::temp_directory_path() / ("quillshade-engine-fuzz-" + std::to_string(getpid()) + ".qsd");
  // Registered once the path is made, so that it runs before the path is destroyed.
  [[maybe_unused]] static const bool removedAtExit = std::atexit(RemoveStoryFile) == 0;
  return path;
}

// Bytes below 128 stand for themselves, so script markers and line breaks are easy to
// find; the others for double-byte codes from the row that holds the ideographic space
// and the Japanese punctuation.
void WriteStory(std::string_view bytes) {
  std::string codes;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    codes += std::to_string(byte < 0x80 ? byte : 0x8140 + (byte - 0x80));
    codes += ' ';
  }
  std::ofstream(StoryPath(), std::ios::binary | std::ios::trunc) << codes;
}

bool SameState(const Story& a, const Story& b) {
  bool same = a.StoryText == b.StoryText && a.ReadPos == b.ReadPos && a.ChoiceList == b.ChoiceList;
  for (std::size_t flag = 0; flag < quillshade::kFlagCount; ++flag) same = same && a.Flag(flag) == b.Flag(flag);
  return same;
}

void CheckInvariants(const Form& form, const quillshade::test::FakeWindow& window) {
  const Story& story = form.story;
  Check(story.ReadPos == 0 ||
        (story.ReadPos >= 1 && static_cast<std::size_t>(story.ReadPos) <= story.StoryText.size() + 1));
  for (std::size_t flag = 0; flag < quillshade::kFlagCount; ++flag)
    Check(story.Flag(flag) == quillshade::kTrue || story.Flag(flag) == quillshade::kFalse);
  Check(!window.busy);
  Check(form.caption == window.Caption() || window.captions.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Two bytes give the story's length; the story follows, then one byte per key press.
  const std::size_t storyLength = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
  WriteStory(std::string_view(reinterpret_cast<const char*>(data) + 2, storyLength));

  quillshade::test::FakeWindow window;
  Form form(window, quillshade::Cp932CodePage());
  quillshade::Form_Load(form);
  window.dialogAnswers.push_back(StoryPath());
  quillshade::mnuFileOpen_Click(form);
  CheckInvariants(form, window);

  for (std::size_t i = 2 + storyLength; i < size; ++i) {
    const std::uint8_t key = data[i];
    const Story before = form.story;
    switch (key % 10) {
      case 0: case 1: case 2: case 3: case 4:
        quillshade::Form_KeyDown(form, quillshade::keys::k1 + key % 10);
        break;
      case 5:
        quillshade::Form_KeyDown(form, quillshade::keys::kDown);
        // Down does nothing while a choice is pending.
        if (!before.ChoiceList.empty()) Check(SameState(before, form.story));
        break;
      case 6:
        // Space minimises at once, also while a choice is pending, and changes nothing.
        window.minimized = false;
        quillshade::Form_KeyDown(form, quillshade::keys::kSpace);
        Check(window.minimized);
        Check(SameState(before, form.story));
        window.minimized = false;
        break;
      case 7:
        // File > Open: the same story again, a cancelled dialog, or a file that is gone.
        if (key & 0x10) window.dialogAnswers.push_back(StoryPath());
        else if (key & 0x20) window.dialogAnswers.push_back(StoryPath().string() + ".missing");
        quillshade::mnuFileOpen_Click(form);
        window.dialogAnswers.clear();
        break;
      case 8:
        quillshade::Form_KeyDown(form, quillshade::keys::kNumpad1 + key % 5);
        break;
      default:
        quillshade::Form_KeyDown(form, key);  // any other key code, the choice keys and Space among them
        break;
    }
    CheckInvariants(form, window);
  }
  return 0;
}
