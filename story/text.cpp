// Searches over story text, written to stay fast on texts of hundreds of megabytes.
#include "story/text.h"

#include <algorithm>

#include "story/vector_scan.h"

namespace quillshade {
namespace {

constexpr std::size_t kNotFound = std::u16string_view::npos;

}  // namespace

std::size_t FindLineBreak(std::u16string_view text, std::size_t from) {
  // Many lines are short: the first units are looked at one by one, before the search
  // that reads many at once but costs more to begin.
  constexpr std::size_t kNear = 16;
  const std::size_t near = std::min(text.size(), from + kNear);
  for (std::size_t at = from; at + 1 < near; ++at)
    if (text[at] == u'\r' && text[at + 1] == u'\n') return at;
  if (near == text.size()) return kNotFound;
  return FindUnits(text, near - 1, u"\r\n");
}

std::int32_t FindLabelLine(std::u16string_view text, std::u16string_view lineStart) {
  // The first CR LF directly followed by the label is the first place of the two together.
  std::u16string needle(u"\r\n");
  needle += lineStart;
  const std::size_t at = FindUnits(text, 0, needle);
  return at == kNotFound ? 0 : static_cast<std::int32_t>(at + 1);
}

std::u16string UpperAscii(std::u16string_view text) {
  std::u16string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char16_t c) { return UpperAscii(c); });
  return upper;
}

bool IsJumpLanding(std::u16string_view text, std::int32_t readPos) {
  if (readPos <= 0) return false;
  const auto at = static_cast<std::size_t>(readPos) - 1;
  return at + 1 < text.size() && text[at] == u'\r' && text[at + 1] == u'\n';
}

std::int32_t LabelLineStart(std::int32_t labelLine) { return labelLine + 2; }

std::int32_t ChoiceResumePos(std::int32_t labelLine, std::size_t labelLength) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(LabelLineStart(labelLine)) +
                                   static_cast<std::int64_t>(labelLength));
}

LabelReach ReachOf(std::u16string_view text, std::int32_t labelLine) {
  if (labelLine <= 0) return LabelReach::Missing;
  const auto lineStart = static_cast<std::size_t>(LabelLineStart(labelLine)) - 1;
  return FindLineBreak(text, lineStart) == kNotFound ? LabelReach::Unbroken : LabelReach::Shown;
}

}  // namespace quillshade
