// The published page: the reader page split at its story element, the codes between.
#include "tools/qsd/lib/publish.h"

#include "tools/qsd/lib/source_encoder.h"

namespace quillshade::qsd {

std::vector<std::filesystem::path> ReaderPagePlaces(const std::filesystem::path& programFolder) {
  const std::filesystem::path name(kReaderPageName);
  return {programFolder / name, programFolder.parent_path() / "share" / "quillshade" / name};
}

Result<std::string> PublishStory(std::string_view readerPage, std::u16string_view storyText) {
  const std::size_t at = readerPage.find(kStoryElement);
  if (at == std::string_view::npos || readerPage.find(kStoryElement, at + 1) != std::string_view::npos)
    return Failure{"not a reader page: it must hold its empty story element once"};
  if (storyText.empty()) return Failure{"holds no story the reader could show"};
  const EncodedStory story = EncodeStory(storyText);
  // The page's safety rests on this, so it is checked here rather than trusted.
  if (!story.unencodable.empty() || story.codes.find_first_not_of("0123456789 -") != std::string::npos)
    return Failure{"holds characters code page 932 cannot hold"};

  const std::size_t contentAt = at + kStoryElement.find("></") + 1;
  std::string page;
  page.reserve(readerPage.size() + story.codes.size());
  page.append(readerPage.substr(0, contentAt));
  page.append(story.codes);
  page.append(readerPage.substr(contentAt));
  return page;
}

}  // namespace quillshade::qsd
