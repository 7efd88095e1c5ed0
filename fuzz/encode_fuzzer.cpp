// Fuzz target: qsd encode on an arbitrary text source; what it writes must decode back
// to the text it read.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "story/decode.h"
#include "story/encode.h"
#include "tools/qsd/lib/text_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  using namespace quillshade;
  using namespace quillshade::qsd;
  const SourceEncoding encoding = data[0] & 1 ? SourceEncoding::Cp932 : SourceEncoding::Utf8;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  (void)LooksLikeStoryFile(bytes);
  const quillshade::qsd::Result<std::u16string> source = ReadTextSource(bytes, encoding);
  if (!source.ok()) return 0;
  const std::u16string* text = &source.value();
  const EncodedStory story = EncodeStory(*text);
  for (const Unencodable& bad : story.unencodable) (void)DescribeCharacter(bad.character);
  if (story.unencodable.empty() &&
      quillshade::DecodeCharCodes(story.codes, quillshade::Cp932CodePage()) != *text)
    __builtin_trap();
  return 0;
}
