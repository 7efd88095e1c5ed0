// Small exact operations on story text: 16-bit code units, no folding of any kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillshade {

// Removes U+0020 at both ends; tabs, CR, LF and the ideographic space stay. Inline:
// every line is trimmed several times as it is split.
inline std::u16string_view TrimSpaces(std::u16string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] == u' ') ++first;
  if (first == last) return text.substr(0, 0);  // empty, but still pointing into the text
  while (text[last - 1] == u' ') --last;
  return text.substr(first, last - first);
}

// The 0-based index of the first CR LF at or after `from`, or npos.
std::size_t FindLineBreak(std::u16string_view text, std::size_t from);

// Whether a line is a label line of `label`: it begins with the label, code unit for
// code unit, and may go on after it.
constexpr bool BeginsWithLabel(std::u16string_view line, std::u16string_view label) { return line.starts_with(label); }

// The 1-based position of the CR of the first CR LF in the text that is directly
// followed by `lineStart`, searching the whole text from its start; 0 if there is none.
std::int32_t FindLabelLine(std::u16string_view text, std::u16string_view lineStart);

// Where the line after the CR LF at 0-based `lineEnd` begins, 1-based: where reading
// goes on after a line that neither jumps nor ends the story.
constexpr std::int32_t LineAfter(std::size_t lineEnd) { return static_cast<std::int32_t>(lineEnd + 3); }

// A jump sets ReadPos on the CR that FindLabelLine answers, not on the label line: the
// step from there reads the empty text before that CR LF, shows an empty title bar, and
// goes on at the label line. Whether a ReadPos stands on such a line break.
bool IsJumpLanding(std::u16string_view text, std::int32_t readPos);

// The 1-based place where the label line found at `labelLine` (the CR before it, as
// FindLabelLine answers) begins, past that CR LF.
std::int32_t LabelLineStart(std::int32_t labelLine);

// A choice goes on right after its label, on the label line found at `labelLine`.
std::int32_t ChoiceResumePos(std::int32_t labelLine, std::size_t labelLength);

// What a jump or a choice of a label reaches, given FindLabelLine's answer: no line, or
// a label line that has no CR LF after it (an unbroken last line, which is never shown,
// so reading stops there without showing it), or a label line that is shown.
enum class LabelReach : std::uint8_t { Missing, Unbroken, Shown };
LabelReach ReachOf(std::u16string_view text, std::int32_t labelLine);

// ASCII letters to upper case; everything else stays.
constexpr char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }
std::u16string UpperAscii(std::u16string_view text);

}  // namespace quillshade
