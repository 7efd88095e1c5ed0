// The Story state: the one story in memory and where reading stands in it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillshade {

// A flag holds -1 for true and 0 for false; traces show these values.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// The five flags, A to E: commands and jumps on a flag name them by these letters.
inline constexpr std::u16string_view kFlagLetters = u"ABCDE";
inline constexpr std::size_t kFlagCount = kFlagLetters.size();

// A set of flags, bit i for flag i (A + i).
using FlagBits = std::uint8_t;

// A load clears flags A, B and C; D and E carry over from one story to the next.
inline constexpr FlagBits kCarriedFlags = 0b11000;

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
  std::int16_t FlagD = kFalse;
  std::int16_t FlagE = kFalse;

  // Flag i (0 for A .. 4 for E), so that no caller writes the five fields out.
  std::int16_t& Flag(std::size_t i) { return this->*kFlagFields[i]; }
  std::int16_t Flag(std::size_t i) const { return this->*kFlagFields[i]; }

 private:
  static constexpr std::array<std::int16_t Story::*, kFlagCount> kFlagFields{&Story::FlagA, &Story::FlagB,
                                                                             &Story::FlagC, &Story::FlagD,
                                                                             &Story::FlagE};
};

// The flags that are true, and setting all five from such a set.
inline FlagBits FlagsOf(const Story& story) {
  FlagBits flags = 0;
  for (std::size_t i = 0; i < kFlagCount; ++i)
    if (story.Flag(i) == kTrue) flags = static_cast<FlagBits>(flags | (1u << i));
  return flags;
}

inline void SetFlags(Story& story, FlagBits flags) {
  for (std::size_t i = 0; i < kFlagCount; ++i) story.Flag(i) = (flags >> i) & 1u ? kTrue : kFalse;
}

}  // namespace quillshade
