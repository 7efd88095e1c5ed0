// A story loaded from a file and walked over every reader state: what `endings` and `stats` read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/result.h"
#include "tools/qsd/lib/walk.h"

namespace quillshade::qsd {

struct WalkedStory {
  // Held by pointer, so that `lines`, which views it, stays valid as the story moves.
  std::shared_ptr<const std::u16string> text;
  StoryLines lines;
  WalkResult walk;  // incomplete when it stopped at its number of states
};

// Loads a story file or text source as `check` does and walks it, up to `maxStates` states.
Result<WalkedStory> LoadAndWalk(const std::string& path, SourceEncoding encoding, std::uint64_t maxStates);

}  // namespace quillshade::qsd
