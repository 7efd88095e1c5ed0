// Fuzz target: qsd decode on an arbitrary story file: the toolkit's token-by-token
// decoding that places bad tokens must give the reader's text, and the output its bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "story/decode.h"
#include "story/utf8.h"
#include "tools/qsd/lib/story_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const quillshade::qsd::LoadedStory story = quillshade::qsd::DecodeStoryBytes(bytes, 8);
  if (story.status != quillshade::StoryFileStatus::Loaded) __builtin_trap();
  if (story.text != quillshade::DecodeCharCodes(bytes, quillshade::Cp932CodePage())) __builtin_trap();
  if (story.badTokens.size() > 8 || story.badTokens.size() > story.badTokenCount) __builtin_trap();
  for (const auto& placed : story.badTokens)
    if (placed.storyIndex > story.text.size() || placed.fileLine < 1 || placed.fileColumn < 1) __builtin_trap();
  const std::string utf8 = quillshade::ToUtf8(story.text);
  if (quillshade::FromUtf8(utf8) != story.text) __builtin_trap();  // decoded text has no lone surrogates
  return 0;
}
