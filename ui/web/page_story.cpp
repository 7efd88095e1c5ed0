// Two passes over the page's bytes: the spaces bound the codes, then the codes are decoded.
#include "ui/web/page_story.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillshade {
namespace {

// Small enough that each piece is still in the processor's cache when it is decoded.
constexpr std::size_t kPieceSize = 1 << 16;

}  // namespace

StoryFile ReadPageStory(std::uint64_t size, const CopyStoryBytes& copy, const CodePage& page,
                        std::size_t maxLength) {
  if (size == 0) return StoryFile{StoryFileStatus::Loaded, {}};
  try {
    const auto buffer = std::make_unique<char[]>(kPieceSize);
    const auto pieceAt = [&](std::uint64_t offset) {
      const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, size - offset));
      copy(buffer.get(), offset, count);
      return std::string_view(buffer.get(), count);
    };
    std::uint64_t spaces = 0;
    for (std::uint64_t offset = 0; offset < size; offset += kPieceSize) {
      const std::string_view piece = pieceAt(offset);
      spaces += static_cast<std::uint64_t>(std::count(piece.begin(), piece.end(), ' '));
    }
    StoryFile result{StoryFileStatus::Loaded, {}};
    result.text.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(spaces + 1, maxLength)));
    CodeDecoder decoder(page, result.text, maxLength);
    for (std::uint64_t offset = 0; offset < size; offset += kPieceSize) {
      decoder.Feed(pieceAt(offset));
      if (decoder.TooLong()) return StoryFile{StoryFileStatus::TooLong, {}};
    }
    decoder.Finish();
    if (decoder.TooLong()) return StoryFile{StoryFileStatus::TooLong, {}};
    return result;
  } catch (const std::bad_alloc&) {
    return StoryFile{StoryFileStatus::OutOfMemory, {}};
  } catch (const std::length_error&) {
    return StoryFile{StoryFileStatus::OutOfMemory, {}};
  }
}

void WarmUpReadStep(const CodePage& page) {
  // Codes of each length the decoder reads, a line break among them.
  constexpr std::string_view kCodes = "33440 -32319 130 65 13 10 ";
  constexpr std::size_t kWarmUpBytes = std::size_t{4} << 20;
  std::string bytes;
  bytes.reserve(kWarmUpBytes + kCodes.size());
  while (bytes.size() < kWarmUpBytes) bytes += kCodes;
  const auto copy = [&bytes](char* into, std::uint64_t offset, std::size_t count) {
    std::copy_n(bytes.data() + offset, count, into);
  };
  ReadPageStory(bytes.size(), copy, page);
}

}  // namespace quillshade
