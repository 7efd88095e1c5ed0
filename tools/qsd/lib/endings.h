// The ways a story can stop, each with its place, its kind, the flags there and the shortest keys.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/qsd/lib/walk.h"

namespace quillshade::qsd {

enum class EndingKind { End, MissingLabel, MissingChoiceLabel, EndOfText, EndlessLoop };

// "end", "missing-label", "missing-choice-label", "end-of-text", "endless-loop".
std::string_view EndingKindName(EndingKind kind);

struct Ending {
  EndingKind kind = EndingKind::End;
  std::size_t line = 1;
  std::size_t column = 1;
  std::string message;
  FlagBits flags = 0;            // as they are once the story stops (on a loop: as it is entered)
  WayIn way;                     // the shortest keys from loading the story
  std::size_t linesShown = 0;    // captions on that way, the last included
  std::vector<std::size_t> loop; // EndlessLoop: the lines Down goes round
};

// Every ending the walk found, in the order of the text. A walk that did not complete
// finds no endless loop, and may miss other endings: those it found are listed.
std::vector<Ending> FindEndings(std::u16string_view text, const StoryLines& lines, const WalkResult& walk);

// Lines shown on the way through `step`, which shows one more if `lastShows`.
std::size_t LinesShownOnWay(std::u16string_view text, const WalkResult& walk, Step step, bool lastShows);

// "the walk stopped after N reader states (--max-states)", for a walk that did not complete.
std::string WalkLimitText(const WalkResult& walk, std::uint64_t maxScan, std::size_t storyLength);

}  // namespace quillshade::qsd
