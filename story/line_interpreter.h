// The line interpreter: one step of reading the story.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "story/story.h"

namespace quillshade {

// What one step leaves for the reader to see and where the next step begins.
struct LineStep {
  std::int32_t nextPos = 0;                  // every caller stores this into ReadPos at once
  std::optional<std::u16string> shownText;   // the new caption, if the step shows a line
};

// Takes the line of StoryText that begins at ReadPos, strips and splits it by the script
// syntax ("[prefix]", shown text, ">>" jump, "::" commands, "??" choices), applies its
// commands and choice list to the story, and answers the text to show and where reading
// goes on: after the line, at the CR LF before a jump's label line, or 0 when it stops.
// Does not write ReadPos itself.
LineStep ReadNextLine(Story& story);

}  // namespace quillshade
