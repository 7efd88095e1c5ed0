// A story loaded from a file and walked over every reader state.
#include "tools/qsd/lib/walked_story.h"

#include "story/label_index.h"

namespace quillshade::qsd {

Result<WalkedStory> LoadAndWalk(const std::string& path, SourceEncoding encoding, std::uint64_t maxStates) {
  Result<std::u16string> read = LoadStoryText(path, encoding);
  if (!read.ok()) return read.error();
  auto text = std::make_shared<const std::u16string>(std::move(read).value());
  StoryLines lines(*text);
  const LabelIndex labels(*text);
  WalkResult walk = WalkStoryLines(*text, lines, labels, maxStates, kDefaultMaxScan, nullptr);
  return WalkedStory{std::move(text), std::move(lines), std::move(walk)};
}

}  // namespace quillshade::qsd
