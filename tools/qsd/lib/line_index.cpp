// Line index of a story text and small helpers for messages about it.
#include "tools/qsd/lib/line_index.h"

#include <algorithm>
#include <bitset>

#include "story/encode.h"
#include "story/text.h"
#include "story/utf16.h"
#include "story/utf8.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

StoryLines::StoryLines(std::u16string_view text) : text_(text) {
  std::uint32_t block[kBlockLines];
  std::size_t inBlock = 0;
  const auto add = [&](std::size_t start) {
    block[inBlock++] = static_cast<std::uint32_t>(start);  // positions fit in 32 bits
    ++count_;
    if (inBlock == kBlockLines) {
      AddBlock(block, inBlock);
      inBlock = 0;
    }
  };
  std::size_t start = 0;
  std::size_t lineBreak = 0;
  while ((lineBreak = FindLineBreak(text, start)) != std::u16string_view::npos) {
    add(start);
    start = lineBreak + 2;
  }
  if (start < text.size()) {
    add(start);
    unbrokenTail_ = true;
  }
  if (inBlock > 0) AddBlock(block, inBlock);
}

void StoryLines::AddBlock(const std::uint32_t* starts, std::size_t count) {
  const std::uint32_t span = starts[count - 1] - starts[0];
  const std::uint8_t width = span < 0x100 ? 1 : span < 0x10000 ? 2 : 4;
  blocks_.push_back({starts[0], width, offsets_.size()});
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t offset = starts[i] - starts[0];
    for (std::uint8_t byte = 0; byte < width; ++byte) offsets_.push_back(static_cast<std::uint8_t>(offset >> (8 * byte)));
  }
}

std::size_t StoryLines::OffsetIn(const Block& block, std::size_t i) const {
  const std::uint8_t* at = offsets_.data() + block.offsets + i * block.width;
  std::size_t offset = 0;
  for (std::uint8_t byte = block.width; byte-- > 0;) offset = offset << 8 | at[byte];
  return offset;
}

std::size_t StoryLines::Start(std::size_t line) const {
  const Block& block = blocks_[(line - 1) / kBlockLines];
  return block.start + OffsetIn(block, (line - 1) % kBlockLines);
}

std::u16string_view StoryLines::Text(std::size_t line) const {
  const std::size_t start = Start(line);
  if (line == Count() && unbrokenTail_) return text_.substr(start);
  // A line ends two units before the next begins, the last one two before the text ends.
  const std::size_t end = line < Count() ? Start(line + 1) : text_.size();
  return text_.substr(start, end - 2 - start);
}

std::size_t StoryLines::LineOf(std::size_t index) const {
  // The last block that begins at or before the index, then the last line in it that does.
  const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                      [](std::size_t at, const Block& block) { return at < block.start; });
  if (after == blocks_.begin()) return 0;
  const auto blockIndex = static_cast<std::size_t>(after - blocks_.begin()) - 1;
  const Block& block = blocks_[blockIndex];
  const std::size_t lines = std::min(kBlockLines, count_ - blockIndex * kBlockLines);
  std::size_t low = 1;  // lines [0, low) begin at or before the index
  std::size_t high = lines;
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (block.start + OffsetIn(block, middle) <= index)
      low = middle + 1;
    else
      high = middle;
  }
  return blockIndex * kBlockLines + low;
}

namespace {

// Whether each character takes one byte in code page 932, worked out once from the
// encoder: a bit each, where a lookup per character costs less than asking the encoder.
const std::bitset<65536>& SingleByteCharacters() {
  static const std::bitset<65536> single = [] {
    std::bitset<65536> bits;
    for (std::size_t c = 0; c < bits.size(); ++c)
      if (const auto code = CodeOfCharacter(static_cast<char16_t>(c)); code && *code < 256) bits.set(c);
    return bits;
  }();
  return single;
}

}  // namespace

std::size_t DisplayWidth(std::u16string_view text) {
  const std::bitset<65536>& single = SingleByteCharacters();
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Utf16Character character = CharacterAt(text, i);
    // A pair is never in the page; a lone unit is looked up as it stands.
    width += character.length == 1 && single[text[i]] ? 1 : 2;
    i += character.length;
  }
  return width;
}

std::string Quote(std::u16string_view text, std::size_t maxCharacters) {
  return "'" + PrintableText(text, ControlCharacters::Escaped, maxCharacters) + "'";
}

}  // namespace quillshade::qsd
