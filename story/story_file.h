// Reading a story file from disk: streamed, decoded as it is read, whole or not at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "story/code_page.h"
#include "story/decode.h"

namespace quillshade {

enum class StoryFileStatus {
  Loaded,
  NotFound,          // no such file or folder
  NotARegularFile,   // a folder, device, pipe or socket: never read
  CannotOpen,        // exists but cannot be opened (permissions, locks, ...)
  ReadError,         // an error after reading had begun
  Changed,           // the file grew or shrank while it was read
  TooLong,           // more characters than 32-bit positions can address
  OutOfMemory,
};

struct StoryFile {
  StoryFileStatus status = StoryFileStatus::NotFound;
  std::u16string text;  // the decoded text; empty unless status is Loaded
};

struct StoryFileOptions {
  std::size_t maxLength = kMaxStoryLength;
  // Optional: each token that adds nothing, with the length of the text before it.
  std::function<void(const BadToken&, std::size_t textLength)> onBadToken;
  // Tests only: runs after each piece is read, with the bytes read so far, so that a
  // test can change the file under the reader at a chosen moment.
  std::function<void(std::uintmax_t bytesRead)> afterRead;
};

// Reads and decodes the story file at `path`. Only regular files are read, so a FIFO
// or a device is refused before it is opened and can never block or read forever.
StoryFile ReadStoryFile(const std::filesystem::path& path, const CodePage& page,
                        const StoryFileOptions& options = {});

// A short English description of a status, for the toolkit's messages.
const char* Describe(StoryFileStatus status);

}  // namespace quillshade
