// Two passes over the page's bytes: the spaces bound the codes, then the codes are decoded.
#include "ui/web/page_story.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace quillshade {
namespace {

// Small enough that each piece is still in the processor's cache when it is decoded.
constexpr std::size_t kPieceSize = 1 << 16;

}  // namespace

PageStoryReader::PageStoryReader(std::uint64_t size, CopyStoryBytes copy, const CodePage& page, std::size_t maxLength)
    : size_(size), copy_(std::move(copy)), page_(page), maxLength_(maxLength) {
  if (size_ == 0) pass_ = Pass::Done;
}

PageStoryReader::~PageStoryReader() = default;

std::string_view PageStoryReader::PieceAt(std::uint64_t offset) {
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, size_ - offset));
  copy_(buffer_.get(), offset, count);
  return std::string_view(buffer_.get(), count);
}

void PageStoryReader::Fail(StoryFileStatus status) {
  decoder_.reset();
  result_ = StoryFile{status, {}};
  pass_ = Pass::Done;
}

bool PageStoryReader::ReadOn(std::uint64_t budget) {
  try {
    if (pass_ != Pass::Done && !buffer_) buffer_ = std::make_unique<char[]>(kPieceSize);
    for (std::uint64_t read = 0; pass_ != Pass::Done && read < std::max<std::uint64_t>(budget, 1); read += kPieceSize) {
      if (offset_ < size_) {
        const std::string_view piece = PieceAt(offset_);
        offset_ += piece.size();
        if (pass_ == Pass::CountSpaces) {
          spaces_ += static_cast<std::uint64_t>(std::count(piece.begin(), piece.end(), ' '));
          continue;
        }
        decoder_->Feed(piece);
        if (decoder_->TooLong()) Fail(StoryFileStatus::TooLong);
        continue;
      }
      if (pass_ == Pass::CountSpaces) {
        result_.text.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(spaces_ + 1, maxLength_)));
        decoder_.emplace(page_, result_.text, maxLength_);
        pass_ = Pass::Decode;
        offset_ = 0;
        continue;
      }
      decoder_->Finish();
      const bool tooLong = decoder_->TooLong();
      decoder_.reset();
      if (tooLong) Fail(StoryFileStatus::TooLong);
      pass_ = Pass::Done;
    }
  } catch (const std::bad_alloc&) {
    Fail(StoryFileStatus::OutOfMemory);
  } catch (const std::length_error&) {
    Fail(StoryFileStatus::OutOfMemory);
  }
  if (pass_ == Pass::Done) buffer_.reset();
  return pass_ == Pass::Done;
}

StoryFile PageStoryReader::Take() { return std::exchange(result_, StoryFile{StoryFileStatus::Loaded, {}}); }

StoryFile ReadPageStory(std::uint64_t size, const CopyStoryBytes& copy, const CodePage& page, std::size_t maxLength) {
  PageStoryReader reader(size, copy, page, maxLength);
  while (!reader.ReadOn(std::numeric_limits<std::uint64_t>::max())) {
  }
  return reader.Take();
}

}  // namespace quillshade
