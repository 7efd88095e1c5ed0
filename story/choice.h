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

// Field n (0-based) of a comma-separated list, as a view into it; nothing when the list
// has no such field or n is negative.
std::optional<std::u16string_view> FindField(std::u16string_view list, std::int32_t n);

// Field n (0-based) of a comma-separated list, exactly as it stands (not trimmed);
// empty when the list has no such field or n is negative.
std::u16string PickField(std::u16string_view list, std::int32_t n);

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
