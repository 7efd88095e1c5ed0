// The lines of a decoded story (separated by CR LF) and the parts of each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "story/script_line.h"

namespace quillshade::qsd {

// Lines are numbered from 1 here, as in messages. The text after the last CR LF, if
// any, is a line too, but one that the reader never shows.
class StoryLines {
 public:
  explicit StoryLines(std::u16string_view text);

  std::size_t Count() const { return starts_.size(); }
  std::size_t TextLength() const { return text_.size(); }
  // Whether the line has a CR LF after it (every line but an unbroken last one).
  bool Terminated(std::size_t line) const { return line < Count() || !unbrokenTail_; }
  bool HasUnbrokenTail() const { return unbrokenTail_; }
  // 0-based index of the line's first character in the text, and the line itself.
  std::size_t Start(std::size_t line) const { return starts_[line - 1]; }
  std::u16string_view Text(std::size_t line) const;
  // The line that holds the 0-based text index (a CR LF belongs to the line it ends).
  std::size_t LineOf(std::size_t index) const;
  // The line that begins right after the CR at 1-based position `crPosition`, as
  // FindLabelLine answers it.
  std::size_t LineAfterBreak(std::int32_t crPosition) const { return LineOf(static_cast<std::size_t>(crPosition) - 1) + 1; }

 private:
  std::u16string_view text_;
  std::vector<std::uint32_t> starts_;  // positions fit in 32 bits, and a story may have millions of lines
  bool unbrokenTail_ = false;
};

// Columns on the title bar: a character of one byte in code page 932 takes one, every
// other character two (a full-width character, or one the page cannot hold).
std::size_t DisplayWidth(std::u16string_view text);

// Story text quoted for a message: UTF-8, control characters escaped, long text cut.
std::string Quote(std::u16string_view text, std::size_t maxCharacters = 40);

}  // namespace quillshade::qsd
