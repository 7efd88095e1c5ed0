// The line interpreter: one step of reading the story.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "story/label_index.h"
#include "story/script_line.h"
#include "story/story.h"

namespace quillshade {

// What one step leaves for the reader to see and where the next step begins.
struct LineStep {
  std::int32_t nextPos = 0;                  // every caller stores this into ReadPos at once
  // The new caption, if the step shows a line: a view into the story's text, which the
  // step leaves as it was, so reading on costs no copy of the line.
  std::optional<std::u16string_view> shownText;
};

// What a step that begins reading at one place does, for any flags: a tool that steps
// through many states of one story reads each place once and applies that to each state.
struct LineReading {
  // False when there is nothing to read there (ReadPos is 0 or less, past the text, or
  // its line has no CR LF after it): the step shows nothing, changes nothing and stops.
  bool read = false;
  std::size_t lineEnd = std::u16string_view::npos;  // 0-based index of the CR LF after the line
  FlagBits sets = 0;    // the commands, as CommandEffects has them
  FlagBits clears = 0;
  // The line has a choice marker: the step sets ChoiceList to this list (maybe empty).
  std::optional<std::u16string_view> choiceList;
  // Where Down goes and what the step shows, by the value of flag `testedFlag` once the
  // commands have acted: [1] set, [0] not. Both alike when the line tests no flag.
  std::size_t testedFlag = kFlagCount;
  std::array<Flow, 2> down{Flow::NextLine, Flow::NextLine};
  std::array<std::u16string_view, 2> target{};  // Flow::Jump: what the label line begins with
  std::array<std::u16string_view, 2> shown{};

  // Which of the two ways the flags take, as the commands have left them.
  std::size_t Way(FlagBits flags) const { return testedFlag < kFlagCount ? (flags >> testedFlag) & 1u : 0; }
};

LineReading ReadingAt(std::u16string_view text, std::int32_t readPos);
// The same for a caller that already knows where the line ends: `lineEnd` is what
// FindLineBreak(text, readPos - 1) answers.
LineReading ReadingAt(std::u16string_view text, std::int32_t readPos, std::size_t lineEnd);

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
