// The lines of a decoded story (separated by CR LF) and the parts of each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "story/script_line.h"
#include "story/title_bar.h"  // DisplayWidth, which messages about widths use

namespace quillshade::qsd {

// Lines are numbered from 1 here, as in messages. The text after the last CR LF, if
// any, is a line too, but one that the reader never shows.
class StoryLines {
 public:
  explicit StoryLines(std::u16string_view text);
  // The lines of `text`, made from those of `previous` when `text` is its text with the
  // units [from, previousTo) replaced by text[from, to): `from` is where a line begins
  // in both, and each end is where a line begins or the end of its text. The lines
  // around the replaced units are taken from `previous`; only those are found in `text`.
  StoryLines(std::u16string_view text, const StoryLines& previous, std::size_t from, std::size_t previousTo,
             std::size_t to);

  std::size_t Count() const { return count_; }
  std::size_t TextLength() const { return text_.size(); }
  // Whether the line has a CR LF after it (every line but an unbroken last one).
  bool Terminated(std::size_t line) const { return line < Count() || !unbrokenTail_; }
  bool HasUnbrokenTail() const { return unbrokenTail_; }
  // 0-based index of the line's first character in the text, and the line itself.
  std::size_t Start(std::size_t line) const;
  std::u16string_view Text(std::size_t line) const;
  // The line that holds the 0-based text index (a CR LF belongs to the line it ends).
  std::size_t LineOf(std::size_t index) const;
  // The line that begins right after the CR at 1-based position `crPosition`, as
  // FindLabelLine answers it.
  std::size_t LineAfterBreak(std::int32_t crPosition) const { return LineOf(static_cast<std::size_t>(crPosition) - 1) + 1; }

 private:
  // The lines in blocks of kBlockLines: where each block begins, and each of its lines'
  // offset from there in as few bytes as the block needs. A story of millions of empty
  // lines then costs little over a byte a line, beside the two units of text each.
  static constexpr std::size_t kBlockLines = 64;
  struct Block {
    std::uint32_t start;   // of its first line
    std::uint8_t width;    // bytes per offset: 1, 2 or 4
    std::uint64_t offsets; // where its offsets begin in offsets_
  };
  std::size_t OffsetIn(const Block& block, std::size_t i) const;
  void AddBlock(const std::uint32_t* starts, std::size_t count);
  class Builder;

  std::u16string_view text_;
  std::size_t count_ = 0;
  std::vector<Block> blocks_;
  std::vector<std::uint8_t> offsets_;
  bool unbrokenTail_ = false;
};

// Story text quoted for a message: UTF-8, control characters escaped, long text cut.
std::string Quote(std::u16string_view text, std::size_t maxCharacters = 40);

}  // namespace quillshade::qsd
