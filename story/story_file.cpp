// The read step: a regular file, read in chunks, its size checked against what was read.
#include "story/story_file.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>

namespace quillshade {
namespace {

// Small enough that each piece is still in the processor's cache when it is decoded.
constexpr std::size_t kChunkSize = 1 << 16;

StoryFile Failed(StoryFileStatus status) { return StoryFile{status, {}}; }

}  // namespace

StoryFile ReadStoryFile(const std::filesystem::path& path, const CodePage& page,
                        const StoryFileOptions& options) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return Failed(StoryFileStatus::NotFound);
  // A folder on the way that may not be searched, a loop of links, ...
  if (error) return Failed(StoryFileStatus::CannotOpen);
  if (!fs::is_regular_file(status)) return Failed(StoryFileStatus::NotARegularFile);
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return Failed(StoryFileStatus::CannotOpen);

  std::ifstream in(path, std::ios::binary);
  if (!in) return Failed(StoryFileStatus::CannotOpen);
  // Files of the system's own (under /proc, say) claim a size of 0 whatever they hold,
  // and some of them wait for news on every read, or hand each byte out only once.
  // Such a file is taken at its word and never read.
  if (size == 0) return StoryFile{StoryFileStatus::Loaded, {}};

  try {
    StoryFile result{StoryFileStatus::Loaded, {}};
    // Every code takes at least two bytes ("0 "), so this bounds the text; pages of
    // the reservation that are never written are never touched either.
    const std::uintmax_t bound = size / 2 + 1;
    result.text.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(bound, options.maxLength)));
    CodeDecoder decoder(page, result.text, options.maxLength);
    // The decoder brings the text up to date before it reports a token.
    if (options.onBadToken)
      decoder.onBadToken = [&](const BadToken& bad) { options.onBadToken(bad, result.text.size()); };

    // A small story needs no more than its own size of buffer.
    const auto bufferSize = static_cast<std::size_t>(std::min<std::uintmax_t>(kChunkSize, size + 1));
    const auto buffer = std::make_unique<char[]>(bufferSize);
    std::uintmax_t total = 0;
    // Reads at most one byte past the size seen at the start, so a file that keeps
    // growing is noticed instead of being read forever.
    while (total <= size) {
      const auto want = static_cast<std::streamsize>(std::min<std::uintmax_t>(bufferSize, size - total + 1));
      in.read(buffer.get(), want);
      const std::streamsize got = in.gcount();
      if (in.bad()) return Failed(StoryFileStatus::ReadError);
      total += static_cast<std::uintmax_t>(got);
      if (options.afterRead) options.afterRead(total);
      decoder.Feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
      if (decoder.TooLong()) return Failed(StoryFileStatus::TooLong);
      if (got < want) break;  // end of file
    }
    if (total != size) return Failed(StoryFileStatus::Changed);
    decoder.Finish();
    if (decoder.TooLong()) return Failed(StoryFileStatus::TooLong);
    return result;
  } catch (const std::bad_alloc&) {
    return Failed(StoryFileStatus::OutOfMemory);
  } catch (const std::length_error&) {
    return Failed(StoryFileStatus::OutOfMemory);
  }
}

const char* Describe(StoryFileStatus status) {
  switch (status) {
    case StoryFileStatus::Loaded: return "loaded";
    case StoryFileStatus::NotFound: return "no such file";
    case StoryFileStatus::NotARegularFile: return "not a regular file";
    case StoryFileStatus::CannotOpen: return "cannot be opened";
    case StoryFileStatus::ReadError: return "read error";
    case StoryFileStatus::Changed: return "the file changed while it was read";
    case StoryFileStatus::TooLong: return "too many characters for one story";
    case StoryFileStatus::OutOfMemory: return "not enough memory";
  }
  return "unknown";
}

}  // namespace quillshade
