// Sharing a story as one web page: the reader page with the story's codes inside it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qsd/lib/result.h"

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

}  // namespace quillshade::qsd
