// Line index of a story text and small helpers for messages about it.
#include "tools/qsd/lib/line_index.h"

#include <algorithm>

#include "story/text.h"
#include "story/utf16.h"
#include "story/utf8.h"
#include "tools/qsd/lib/source_encoder.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

// Adds line starts in order, a block at a time.
class StoryLines::Builder {
 public:
  explicit Builder(StoryLines& lines) : lines_(lines) {}
  ~Builder() { Flush(); }
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  void Add(std::size_t start) {
    block_[inBlock_++] = static_cast<std::uint32_t>(start);  // positions fit in 32 bits
    ++lines_.count_;
    if (inBlock_ == kBlockLines) Flush();
  }
  // The starts of the lines that begin in [from, to) of the text; `from` is where one begins.
  void AddLinesIn(std::u16string_view text, std::size_t from, std::size_t to) {
    for (std::size_t start = from; start < to;) {
      Add(start);
      const std::size_t lineBreak = FindLineBreak(text, start);
      if (lineBreak == std::u16string_view::npos) break;
      start = lineBreak + 2;
    }
  }

 private:
  void Flush() {
    if (inBlock_ > 0) lines_.AddBlock(block_, inBlock_);
    inBlock_ = 0;
  }

  StoryLines& lines_;
  std::uint32_t block_[kBlockLines];
  std::size_t inBlock_ = 0;
};

StoryLines::StoryLines(std::u16string_view text) : text_(text) {
  Builder builder(*this);
  std::size_t start = 0;
  std::size_t lineBreak = 0;
  while ((lineBreak = FindLineBreak(text, start)) != std::u16string_view::npos) {
    builder.Add(start);
    start = lineBreak + 2;
  }
  if (start < text.size()) {
    builder.Add(start);
    unbrokenTail_ = true;
  }
}

StoryLines::StoryLines(std::u16string_view text, const StoryLines& previous, std::size_t from,
                       std::size_t previousTo, std::size_t to)
    : text_(text), unbrokenTail_(!text.empty() && !text.ends_with(u"\r\n")) {
  // The lines before `from`: whole blocks as they are, the rest of them one by one.
  const std::size_t before = from == 0 ? 0 : previous.LineOf(from - 1);
  const std::size_t wholeBlocks = before / kBlockLines;
  blocks_.assign(previous.blocks_.begin(), previous.blocks_.begin() + static_cast<std::ptrdiff_t>(wholeBlocks));
  offsets_.assign(previous.offsets_.begin(),
                  previous.offsets_.begin() +
                      static_cast<std::ptrdiff_t>(wholeBlocks < previous.blocks_.size() ? previous.blocks_[wholeBlocks].offsets
                                                                                        : previous.offsets_.size()));
  count_ = wholeBlocks * kBlockLines;
  Builder builder(*this);
  for (std::size_t line = count_ + 1; line <= before; ++line) builder.Add(previous.Start(line));
  // The lines that begin in the replaced units, then the rest, shifted: unless the
  // replaced units reach the end, the text after them is the same in both.
  builder.AddLinesIn(text, from, to);
  if (to >= text.size()) return;
  for (std::size_t line = previous.LineOf(previousTo); line <= previous.Count(); ++line) {
    // Once the lines fall in blocks as they did (a change that keeps the count of lines),
    // the rest of the blocks move whole: their offsets stay.
    if (count_ % kBlockLines == 0 && (line - 1) % kBlockLines == 0) {
      const std::size_t block = (line - 1) / kBlockLines;
      const std::size_t offsetsFrom = previous.blocks_[block].offsets;
      for (std::size_t i = block; i < previous.blocks_.size(); ++i) {
        Block moved = previous.blocks_[i];
        moved.start = static_cast<std::uint32_t>(moved.start - previousTo + to);
        moved.offsets = moved.offsets - offsetsFrom + offsets_.size();
        blocks_.push_back(moved);
      }
      offsets_.insert(offsets_.end(), previous.offsets_.begin() + static_cast<std::ptrdiff_t>(offsetsFrom),
                      previous.offsets_.end());
      count_ += previous.Count() - (line - 1);
      return;
    }
    builder.Add(previous.Start(line) - previousTo + to);
  }
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

std::string Quote(std::u16string_view text, std::size_t maxCharacters) {
  return "'" + PrintableText(text, ControlCharacters::Escaped, maxCharacters) + "'";
}

}  // namespace quillshade::qsd
