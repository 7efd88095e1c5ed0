// The published page: the story inside only as codes that read back as the story.
#include "tools/qsd/lib/publish.h"

#include <gtest/gtest.h>

#include <string>

#include "story/code_page.h"
#include "story/decode.h"

namespace quillshade::qsd {
namespace {

const std::string kHead = "<html><body><p>reader</p>";
const std::string kTail = "<script>start()</script></body></html>";
const std::string kReader = kHead + std::string(kStoryElement) + kTail;

// The codes the page holds, read back as the reader's page reads them.
std::u16string StoryOfPage(const std::string& page) {
  const std::string open(kStoryElement.substr(0, kStoryElement.find("></") + 1));
  const std::size_t from = page.find(open) + open.size();
  const std::string codes = page.substr(from, page.find("</script>", from) - from);
  EXPECT_EQ(codes.find_first_not_of("0123456789 -"), std::string::npos) << codes;
  std::u16string text;
  CodeDecoder decoder(Cp932CodePage(), text);
  decoder.Feed(codes);
  decoder.Finish();
  return text;
}

TEST(PublishStory, MarkupInTheStoryReachesThePageOnlyAsCodes) {
  const std::u16string story =
      u"</script><script>alert(1)</script>\r\n<img src=x onerror=alert(2)>\r\n月の光、ｶﾀｶﾅ & \"quotes\"\r\n\r\n";
  const PublishedPage published = PublishStory(kReader, story);
  ASSERT_FALSE(published.error) << *published.error;
  EXPECT_EQ(published.page.rfind(kHead, 0), 0u);
  EXPECT_EQ(published.page.substr(published.page.size() - kTail.size()), kTail);
  EXPECT_EQ(published.page.find("alert"), std::string::npos);
  EXPECT_EQ(published.page.find("<img"), std::string::npos);
  EXPECT_EQ(StoryOfPage(published.page), story);
}

TEST(PublishStory, RefusesWhatWouldNotMakeAPlayablePage) {
  EXPECT_TRUE(PublishStory(kReader, u"").error) << "an empty story";
  EXPECT_TRUE(PublishStory(kHead + kTail, u"a\r\n").error) << "no story element";
  EXPECT_TRUE(PublishStory(kReader + std::string(kStoryElement), u"a\r\n").error) << "two story elements";
  // A published page holds its story already, so its element is no longer empty.
  const PublishedPage once = PublishStory(kReader, u"a\r\n");
  ASSERT_FALSE(once.error);
  EXPECT_TRUE(PublishStory(once.page, u"b\r\n").error) << "a page published before";
  // Characters outside the code page would not read back as they were.
  EXPECT_TRUE(PublishStory(kReader, u"\U0001F319\r\n").error);
}

TEST(ReaderPagePlaces, BesideTheProgramThenInItsPrefixShare) {
  const auto places = ReaderPagePlaces(std::filesystem::path("/usr/bin"));
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[0], std::filesystem::path("/usr/bin/quillshade.html"));
  EXPECT_EQ(places[1], std::filesystem::path("/usr/share/quillshade/quillshade.html"));
}

}  // namespace
}  // namespace quillshade::qsd
