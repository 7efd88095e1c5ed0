// The line interpreter: one step of reading the story.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "story/label_index.h"
#include "story/story.h"

namespace quillshade {

// What one step leaves for the reader to see and where the next step begins.
struct LineStep {
  std::int32_t nextPos = 0;                  // every caller stores this into ReadPos at once
  // The new caption, if the step shows a line: a view into the story's text, which the
  // step leaves as it was, so reading on costs no copy of the line.
  std::optional<std::u16string_view> shownText;
};

// Takes the line of StoryText that begins at ReadPos, strips and splits it by the script
// syntax ("[prefix]", shown text, ">>" jump, "::" commands, "??" choices), applies its
// commands and choice list to the story, and answers the text to show and where reading
// goes on: after the line, at the CR LF before a jump's label line, or 0 when it stops.
// Does not write ReadPos itself.
LineStep ReadNextLine(Story& story);

// The same step over a text held apart from the state (`state.StoryText` is not read),
// its labels found through an index of that text, which answers as the search does: a
// tool that steps through many states of one story holds the text once and never
// searches it for a label.
LineStep ReadNextLine(std::u16string_view text, const LabelIndex& labels, Story& state);

}  // namespace quillshade
