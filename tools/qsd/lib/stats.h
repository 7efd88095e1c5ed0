// Figures about a story for its writer: its size, what the reader sees, its branching and its endings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/qsd/lib/endings.h"

namespace quillshade::qsd {

struct StoryStats {
  std::size_t lines = 0;
  std::size_t linesShown = 0;   // lines that show some text when read
  std::size_t characters = 0;   // shown characters outside Latin text (Japanese, full-width forms)
  std::size_t words = 0;        // words of Latin text
  std::size_t choices = 0;      // lines that ask a choice
  std::size_t answers = 0;      // answers the keys can give
  std::size_t jumps = 0;
  FlagBits flagsUsed = 0;       // set, cleared or tested anywhere
  std::size_t linesToReach = 0; // lines that show something (blank lines left out)
  std::size_t linesReached = 0; // of those, the lines some state reaches
  bool walked = false;          // the walk completed: reach and endings are known
  std::size_t widestLine = 0;   // 0 when no line shows anything
  std::size_t widestWidth = 0;  // in title-bar columns
  std::array<std::size_t, 5> endingsByKind{};  // by EndingKind
  std::vector<Ending> endings;

  // Adds another story's figures, for stories named together; their endings stay theirs.
  void Add(const StoryStats& other);
};

StoryStats ComputeStats(std::u16string_view text, const StoryLines& lines, const WalkResult& walk);

// What the reader sees of a text, counted as writers count: Japanese in characters,
// Latin text in words.
struct ShownCount {
  std::size_t characters = 0;
  std::size_t words = 0;
};
ShownCount CountShown(std::u16string_view shown);

}  // namespace quillshade::qsd
