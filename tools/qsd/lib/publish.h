// Sharing a story as one web page: the reader page with the story's codes inside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qsd/lib/result.h"
#include "tools/qsd/lib/source_encoder.h"

namespace quillshade::qsd {

// The reader page's file name, as the packages install it.
inline constexpr std::string_view kReaderPageName = "quillshade.html";

// The empty element of the reader page that a published page fills with its story. The
// page reads a story there before any other.
inline constexpr std::string_view kStoryElement = R"(<script type="text/plain" id="quillshade-story"></script>)";

// Where the reader page is looked for when none is named, in this order: beside the
// program (the zip, the installer), then share/quillshade/ beside the program's folder
// (the .deb, and any other install prefix).
std::vector<std::filesystem::path> ReaderPagePlaces(const std::filesystem::path& programFolder);

// The reader page with `storyText` inside, which the page loads as it loads a story file.
// The story goes in as its character codes, which are digits, spaces and minus signs
// only, so nothing of its text can end the element or become markup. Refused when the
// reader page does not hold its story element exactly once, or when the text is empty
// (the reader has no story to show then).
Result<std::string> PublishStory(std::string_view readerPage, std::u16string_view storyText);

// A place where publishing would change how the story plays, as `qsd check` places its
// findings: the story line, and the screen column in that line as the source holds it.
struct PublishProblem {
  std::int64_t line = 1;
  std::int64_t column = 1;
  bool error = true;  // a warning says only what was written instead
  std::string message;
};

// What publishing a text source says of its characters `replaced`, which the reader
// holds as '?' in `storyText`. Without `replace`, each is an error. With it, the first
// of them on each line whose script ('?' being a choice marker's half) the replacement
// changes is an error: its prefix, choices, commands, END or jump, as the engine splits
// the line in the source and in the story read back from its codes; the characters of
// every other line are warnings.
std::vector<PublishProblem> PublishProblems(std::u16string_view storyText, const std::vector<Unencodable>& replaced,
                                            bool replace);

}  // namespace quillshade::qsd
