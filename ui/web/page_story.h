// The read step for a story whose bytes the page holds: chosen, dropped, fetched or embedded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "story/code_page.h"
#include "story/decode.h"
#include "story/story_file.h"

namespace quillshade {

// Copies `count` bytes of the story from `offset` on into `into`.
using CopyStoryBytes = std::function<void(char* into, std::uint64_t offset, std::size_t count)>;

// Decodes the `size` bytes that `copy` hands out as ReadStoryFile decodes a file, piece by
// piece, so that only the text is ever held whole in the reader's memory. The text gets
// room for exactly as many codes as the bytes can hold (one more than their spaces), so
// a browser's memory, which never shrinks, holds no more than the story needs.
StoryFile ReadPageStory(std::uint64_t size, const CopyStoryBytes& copy, const CodePage& page,
                        std::size_t maxLength = kMaxStoryLength);

// Runs the read step on a small made-up story and drops it. A browser first compiles
// the reader quickly and compiles code again, optimised, once it has run a while; a load
// is one long run, which would end before its optimised code were ready.
void WarmUpReadStep(const CodePage& page);

}  // namespace quillshade
