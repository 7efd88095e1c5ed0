// Picking a label from a comma-separated list and continuing at its label line.
#include "story/choice.h"

#include <cassert>

#include "story/line_interpreter.h"
#include "story/text.h"

namespace quillshade {

std::optional<std::u16string_view> FindField(std::u16string_view list, std::int32_t n) {
  if (n < 0) return std::nullopt;
  std::size_t start = 0;
  for (std::int32_t field = 0; field < n; ++field) {
    const std::size_t comma = list.find(u',', start);
    if (comma == std::u16string_view::npos) return std::nullopt;
    start = comma + 1;
  }
  const std::size_t end = list.find(u',', start);
  return list.substr(start, end == std::u16string_view::npos ? end : end - start);
}

std::u16string PickField(std::u16string_view list, std::int32_t n) {
  return std::u16string(FindField(list, n).value_or(std::u16string_view()));
}

namespace {

// `readLine` is ReadNextLine over `text`, the text that `findLabel` searches.
template <typename FindLabel, typename ReadLine>
std::optional<std::u16string_view> Choose([[maybe_unused]] std::u16string_view text, Story& story,
                                          std::int32_t choiceIndex, const FindLabel& findLabel,
                                          const ReadLine& readLine) {
  const std::u16string label = PickField(story.ChoiceList, choiceIndex);
  if (label.empty()) return std::nullopt;
  story.ChoiceList.clear();
  const std::int32_t labelLine = findLabel(label);
  if (labelLine == 0) {
    // A label that begins no line stops the story, as a jump to a missing label does.
    story.ReadPos = 0;
    return std::nullopt;
  }
  story.ReadPos = ChoiceResumePos(labelLine, label.size());
  // The label line lies inside the text, so reading goes on within its length + 1.
  assert(story.ReadPos >= 1 && static_cast<std::size_t>(story.ReadPos) <= text.size() + 1);
  LineStep step = readLine(story);
  story.ReadPos = step.nextPos;
  return step.shownText;
}

}  // namespace

std::optional<std::u16string_view> ChooseBranch(Story& story, std::int32_t choiceIndex) {
  return Choose(
      story.StoryText, story, choiceIndex,
      [&story](std::u16string_view label) { return FindLabelLine(story.StoryText, label); },
      [](Story& state) { return ReadNextLine(state); });
}

std::optional<std::u16string_view> ChooseBranch(std::u16string_view text, const LabelIndex& labels, Story& state,
                                                std::int32_t choiceIndex) {
  return Choose(
      text, state, choiceIndex, [&labels](std::u16string_view label) { return labels.Find(label).first; },
      [&](Story& story) { return ReadNextLine(text, labels, story); });
}

}  // namespace quillshade
