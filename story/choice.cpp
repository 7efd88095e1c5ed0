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
    const std::size_t comma = list.find(kFieldSeparator, start);
    if (comma == std::u16string_view::npos) return std::nullopt;
    start = comma + 1;
  }
  const std::size_t end = list.find(kFieldSeparator, start);
  return list.substr(start, end == std::u16string_view::npos ? end : end - start);
}

std::u16string_view FieldAt(std::u16string_view list, std::size_t at) {
  const std::size_t before = at == 0 ? std::u16string_view::npos : list.rfind(kFieldSeparator, at - 1);
  const std::size_t start = before == std::u16string_view::npos ? 0 : before + 1;
  const std::size_t end = list.find(kFieldSeparator, start);
  return list.substr(start, end == std::u16string_view::npos ? end : end - start);
}

std::u16string PickField(std::u16string_view list, std::int32_t n) {
  return std::u16string(FindField(list, n).value_or(std::u16string_view()));
}

namespace {

template <typename FindLabel>
ChoiceAnswer Answer(std::u16string_view choiceList, std::int32_t choiceIndex, const FindLabel& findLabel) {
  ChoiceAnswer answer;
  answer.label = FindField(choiceList, choiceIndex).value_or(std::u16string_view());
  if (!answer.Taken()) return answer;
  answer.labelLine = findLabel(answer.label);
  if (answer.labelLine != 0) answer.resumePos = ChoiceResumePos(answer.labelLine, answer.label.size());
  return answer;
}

// `answerOf` is AnswerOf over `text`; `readLine` is ReadNextLine over it.
template <typename AnswerOfList, typename ReadLine>
std::optional<std::u16string_view> Choose([[maybe_unused]] std::u16string_view text, Story& story,
                                          std::int32_t choiceIndex, const AnswerOfList& answerOf,
                                          const ReadLine& readLine) {
  const ChoiceAnswer answer = answerOf(story.ChoiceList, choiceIndex);
  if (!answer.Taken()) return std::nullopt;
  story.ChoiceList.clear();  // the answer's label, a view into the list, is not read after this
  story.ReadPos = answer.resumePos;
  if (story.ReadPos == 0) return std::nullopt;
  // The label line lies inside the text, so reading goes on within its length + 1.
  assert(story.ReadPos >= 1 && static_cast<std::size_t>(story.ReadPos) <= text.size() + 1);
  LineStep step = readLine(story);
  story.ReadPos = step.nextPos;
  return step.shownText;
}

}  // namespace

ChoiceAnswer AnswerOf(std::u16string_view text, std::u16string_view choiceList, std::int32_t choiceIndex) {
  return Answer(choiceList, choiceIndex, [text](std::u16string_view label) { return FindLabelLine(text, label); });
}

ChoiceAnswer AnswerOf(const LabelIndex& labels, std::u16string_view choiceList, std::int32_t choiceIndex) {
  return Answer(choiceList, choiceIndex, [&labels](std::u16string_view label) { return labels.Find(label).first; });
}

std::optional<std::u16string_view> ChooseBranch(Story& story, std::int32_t choiceIndex) {
  return Choose(
      story.StoryText, story, choiceIndex,
      [&story](std::u16string_view list, std::int32_t index) { return AnswerOf(story.StoryText, list, index); },
      [](Story& state) { return ReadNextLine(state); });
}

std::optional<std::u16string_view> ChooseBranch(std::u16string_view text, const LabelIndex& labels, Story& state,
                                                std::int32_t choiceIndex) {
  return Choose(
      text, state, choiceIndex,
      [&labels](std::u16string_view list, std::int32_t index) { return AnswerOf(labels, list, index); },
      [&](Story& story) { return ReadNextLine(text, labels, story); });
}

}  // namespace quillshade
