// Choice fields and choice jumps: PickField and ChooseBranch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "story/label_index.h"
#include "story/story.h"

namespace quillshade {

// The choice keys 1 to 5 answer fields 0 to 4 of a choice list; later fields are never chosen.
inline constexpr std::size_t kChoiceKeyCount = 5;

// The fields of a choice list, and of a jump's label list, are separated by single commas.
inline constexpr char16_t kFieldSeparator = u',';

// Field n (0-based) of a comma-separated list, as a view into it; nothing when the list
// has no such field or n is negative.
std::optional<std::u16string_view> FindField(std::u16string_view list, std::int32_t n);

// The field of a comma-separated list that holds the 0-based offset `at` (a comma belongs
// to the field it ends), as a view into the list.
std::u16string_view FieldAt(std::u16string_view list, std::size_t at);

// Field n (0-based) of a comma-separated list, exactly as it stands (not trimmed);
// empty when the list has no such field or n is negative.
std::u16string PickField(std::u16string_view list, std::int32_t n);

// A choice is pending while the choice list is not empty: the choice keys answer it, and
// Down reads nothing until one does.
inline bool ChoicePending(std::u16string_view choiceList) { return !choiceList.empty(); }

// What answering a choice list with the choice index 0..4 does, worked out without doing
// it. The label it picks is a view into the list; an empty or missing one does nothing,
// and the choice stays pending.
struct ChoiceAnswer {
  std::u16string_view label;
  std::int32_t labelLine = 0;  // FindLabelLine's answer for the label
  // Where reading goes on: right after the label on its label line; 0 when no line
  // begins with the label, which stops the story as a jump to a missing label does.
  std::int32_t resumePos = 0;

  bool Taken() const { return !label.empty(); }
};
ChoiceAnswer AnswerOf(std::u16string_view text, std::u16string_view choiceList, std::int32_t choiceIndex);
// The same, its label found through an index of the text.
ChoiceAnswer AnswerOf(const LabelIndex& labels, std::u16string_view choiceList, std::int32_t choiceIndex);

// Answers the pending choice with the choice index 0..4 (keys 1 to 5). An empty or
// missing label changes nothing. Otherwise the choice is cleared and reading goes on
// right after the label on the first line that begins with it; a label that begins no
// line stops the story. Answers the text to show, if the step shows one (a view into
// the story's text).
std::optional<std::u16string_view> ChooseBranch(Story& story, std::int32_t choiceIndex);

// The same over a text held apart from the state, as ReadNextLine's second form.
std::optional<std::u16string_view> ChooseBranch(std::u16string_view text, const LabelIndex& labels, Story& state,
                                                std::int32_t choiceIndex);

}  // namespace quillshade
