// Fuzz target: arbitrary bytes as a story file, decoded in pieces of every size and
// compared with the decoding rules written plainly.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "story/decode.h"
#include "tests/story/decode_reference.h"

namespace {

using quillshade::BadToken;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the size of the pieces and a length limit; the rest is the file.
  const std::size_t piece = 1 + data[0] % 97 + (data[0] & 0x80 ? 4096 : 0);
  const std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
  const quillshade::CodePage& page = quillshade::Cp932CodePage();
  const quillshade::test::ReferenceDecoding expected = quillshade::test::ReferenceDecode(file, page);

  std::u16string text;
  std::vector<BadToken> bad;
  quillshade::CodeDecoder decoder(page, text);
  decoder.onBadToken = [&](const BadToken& token) {
    // Every character before a bad token is in the text when it is reported.
    Check(text.size() <= expected.text.size());
    bad.push_back(token);
  };
  for (std::size_t at = 0; at < file.size(); at += piece) decoder.Feed(file.substr(at, piece));
  decoder.Finish();
  Check(!decoder.TooLong());
  Check(text == expected.text);
  Check(bad == expected.badTokens);
  Check(quillshade::DecodeCharCodes(file, page) == expected.text);

  // A limit cuts the text there and says so.
  const std::size_t limit = data[0] % 8;
  std::u16string limited;
  quillshade::CodeDecoder short_decoder(page, limited, limit);
  short_decoder.Feed(file);
  short_decoder.Finish();
  Check(short_decoder.TooLong() == (expected.text.size() > limit));
  Check(limited == std::u16string_view(expected.text).substr(0, limit));
  return 0;
}
