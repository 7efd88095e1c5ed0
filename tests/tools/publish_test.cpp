// The published page: the story inside only as codes that read back as the story.
#include "tools/qsd/lib/publish.h"

#include <gtest/gtest.h>

#include <string>

#include "story/code_page.h"
#include "story/decode.h"
#include "story/encode.h"

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
  const Result<std::string> published = PublishStory(kReader, story);
  ASSERT_TRUE(published.ok()) << published.error().message;
  const std::string& page = published.value();
  EXPECT_EQ(page.rfind(kHead, 0), 0u);
  EXPECT_EQ(page.substr(page.size() - kTail.size()), kTail);
  EXPECT_EQ(page.find("alert"), std::string::npos);
  EXPECT_EQ(page.find("<img"), std::string::npos);
  EXPECT_EQ(StoryOfPage(page), story);
}

TEST(PublishStory, RefusesWhatWouldNotMakeAPlayablePage) {
  EXPECT_FALSE(PublishStory(kReader, u"").ok()) << "an empty story";
  EXPECT_FALSE(PublishStory(kHead + kTail, u"a\r\n").ok()) << "no story element";
  EXPECT_FALSE(PublishStory(kReader + std::string(kStoryElement), u"a\r\n").ok()) << "two story elements";
  // A published page holds its story already, so its element is no longer empty.
  const Result<std::string> once = PublishStory(kReader, u"a\r\n");
  ASSERT_TRUE(once.ok());
  EXPECT_FALSE(PublishStory(once.value(), u"b\r\n").ok()) << "a page published before";
  // Characters outside the code page would not read back as they were.
  EXPECT_FALSE(PublishStory(kReader, u"\U0001F319\r\n").ok());
}

// The lines publishing a source refuses, and how many characters it says it replaced.
struct Refusals {
  std::vector<std::int64_t> lines;
  std::size_t warnings = 0;
};

Refusals RefusalsOf(std::u16string source, bool replace) {
  const std::vector<Unencodable> replaced = MakeReaderText(source);
  Refusals refusals;
  for (const PublishProblem& problem : PublishProblems(source, replaced, replace)) {
    if (problem.error) refusals.lines.push_back(problem.line);
    refusals.warnings += problem.error ? 0 : 1;
  }
  return refusals;
}

TEST(PublishProblems, RefusesEachUnencodableCharacterAtItsScreenColumnUnlessReplacing) {
  std::u16string held = u"Start\r\n日本 😀😀 end\r\n";
  const std::vector<Unencodable> replaced = MakeReaderText(held);
  const auto refused = PublishProblems(held, replaced, false);
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_TRUE(refused[0].error);
  EXPECT_EQ(refused[0].line, 2);
  EXPECT_EQ(refused[0].column, 6) << "two wide characters and a space before it";
  EXPECT_EQ(refused[1].column, 8);
  const Refusals shown = RefusalsOf(u"Start 😀 here 🌙\r\n", true);
  EXPECT_TRUE(shown.lines.empty()) << "shown text only";
  EXPECT_EQ(shown.warnings, 2u);
  EXPECT_TRUE(PublishProblems(u"Plain\r\n", {}, false).empty());
}

TEST(PublishProblems, ReplacingRefusesEveryLineWhoseScriptWouldChange) {
  // Each of these lines does something else once its emoji is '?': a choice marker, a
  // choice marker with the '?' beside it, another prefix, another jump, another choice.
  const std::u16string source =
      u"Go 😀😀 on\r\nAsk 😀? yes\r\n[😀] x\r\nRun >> [😀]\r\n"
      u"Pick ?? a,😀\r\nFine 😀 :: END\r\n";
  const Refusals changed = RefusalsOf(source, true);
  EXPECT_EQ(changed.lines, (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(changed.warnings, 1u) << "line 6 shows its '?' and still ends the story";
}

TEST(ReaderPagePlaces, BesideTheProgramThenInItsPrefixShare) {
  const auto places = ReaderPagePlaces(std::filesystem::path("/usr/bin"));
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[0], std::filesystem::path("/usr/bin/quillshade.html"));
  EXPECT_EQ(places[1], std::filesystem::path("/usr/share/quillshade/quillshade.html"));
}

}  // namespace
}  // namespace quillshade::qsd
