// The read step for a story whose bytes the page holds: chosen, dropped, fetched or embedded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

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
// The work goes in slices of a few bytes each, so that the page's only thread can answer
// a key between two slices however large the story is.
class PageStoryReader {
 public:
  PageStoryReader(std::uint64_t size, CopyStoryBytes copy, const CodePage& page,
                  std::size_t maxLength = kMaxStoryLength);
  ~PageStoryReader();
  PageStoryReader(const PageStoryReader&) = delete;
  PageStoryReader& operator=(const PageStoryReader&) = delete;

  // Reads on through about `budget` bytes; true once the story is read whole or has failed.
  bool ReadOn(std::uint64_t budget);
  // The story, once ReadOn has answered true.
  StoryFile Take();

 private:
  enum class Pass : std::uint8_t { CountSpaces, Decode, Done };
  std::string_view PieceAt(std::uint64_t offset);
  void Fail(StoryFileStatus status);

  std::uint64_t size_;
  CopyStoryBytes copy_;
  const CodePage& page_;
  std::size_t maxLength_;
  std::unique_ptr<char[]> buffer_;
  Pass pass_ = Pass::CountSpaces;
  std::uint64_t offset_ = 0;  // where the pass goes on
  std::uint64_t spaces_ = 0;
  StoryFile result_{StoryFileStatus::Loaded, {}};
  std::optional<CodeDecoder> decoder_;  // writes into result_.text during the second pass
};

// The whole read step at once, for callers that may hold their thread.
StoryFile ReadPageStory(std::uint64_t size, const CopyStoryBytes& copy, const CodePage& page,
                        std::size_t maxLength = kMaxStoryLength);

}  // namespace quillshade
