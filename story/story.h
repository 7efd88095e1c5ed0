// The Story state: the one story in memory and where reading stands in it.
#pragma once

#include <cstdint>
#include <string>

namespace quillshade {

// Flags are stored as the reader always stored booleans: true is -1, false is 0.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

struct Story {
  // The whole decoded story; lines are separated by CR LF, and a line is only ever
  // shown if a CR LF follows it.
  std::u16string StoryText;
  // 1-based index of the first character of the next line to show; 0 or less: the
  // story has stopped.
  std::int32_t ReadPos = 0;
  // Labels of the pending choice, comma-separated; empty when no choice is pending.
  std::u16string ChoiceList;
  std::int16_t FlagA = kFalse;
  std::int16_t FlagB = kFalse;
  std::int16_t FlagC = kFalse;
  std::int16_t FlagD = kFalse;  // D and E carry over from one story to the next
  std::int16_t FlagE = kFalse;
};

}  // namespace quillshade
