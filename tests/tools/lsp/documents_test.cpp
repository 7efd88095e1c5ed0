// Edits of open documents, counted in UTF-16 units over lines that LF, CR LF or CR end.
#include "tools/qsd/lsp/documents.h"

#include <gtest/gtest.h>

#include <random>

namespace quillshade::qsd::lsp {
namespace {

TEST(DocumentText, EveryLineBreakEndsALineAndPositionsPastAnEndStopThere) {
  DocumentText text(u"ab\r\ncd\ref\ngh");
  EXPECT_EQ(text.LineCount(), 4u);
  EXPECT_EQ(text.Offset({1, 1}), 5u);
  EXPECT_EQ(text.Offset({2, 0}), 7u);
  EXPECT_EQ(text.Offset({0, 99}), 2u);  // before the CR LF, not inside it
  EXPECT_EQ(text.Offset({9, 0}), text.Text().size());
  EXPECT_EQ(text.Offset({-1, 3}), 0u);
  EXPECT_EQ(text.LineOf(3), 0u);  // the LF of a CR LF ends its line
  EXPECT_EQ(text.LineOf(4), 1u);
  EXPECT_EQ(text.LineOf(text.Text().size()), 3u);
}

// A story keeps the text of the version it was made of to compare the next one with:
// an edit must leave that text as it was.
TEST(DocumentText, ReplaceCountsASurrogatePairAsTwoUnitsAndLeavesTheTextBeforeIt) {
  DocumentText text(u"a\U0001F319b\nc");
  const std::shared_ptr<const std::u16string> before = text.SharedText();
  text.Replace({{0, 3}, {1, 0}}, u"-");
  EXPECT_EQ(text.Text(), u"a\U0001F319-c");
  EXPECT_EQ(text.LineCount(), 1u);
  EXPECT_EQ(*before, u"a\U0001F319b\nc");
}

TEST(IsTextSourceUri, AgreesWithTheCommandsOnATxtThatHoldsCodes) {
  EXPECT_TRUE(IsTextSourceUri("file:///s/a.TXT", std::u16string_view(u"Start.\r\n")));
  EXPECT_FALSE(IsTextSourceUri("file:///s/a.txt", std::u16string_view(u"72 105 13 10\r\n")));
  EXPECT_FALSE(IsTextSourceUri("file:///s/a.qsd", std::u16string_view(u"Start.\r\n")));
}

TEST(DocumentStore, RefusesAChangeThatIsNotNewerAndKeepsTheText) {
  DocumentStore store;
  store.Open({"file:///s.txt", 3, DocumentText(u"one")});
  EXPECT_TRUE(store.Apply("file:///s.txt", 2, {{std::nullopt, u"old"}}).has_value());
  EXPECT_TRUE(store.Apply("file:///other.txt", 4, {{std::nullopt, u"x"}}).has_value());
  EXPECT_FALSE(store.Apply("file:///s.txt", 4, {{Range{{0, 3}, {0, 3}}, u" two"}, {std::nullopt, u"three"}}));
  EXPECT_EQ(store.Find("file:///s.txt")->text.Text(), u"three");
  EXPECT_EQ(store.Find("file:///s.txt")->version, 4);
}

// Edits applied one at a time over lines counted afresh each time: what a batch must
// agree with, however it gets there.
std::u16string ReplaceNaively(std::u16string text, const Range& range, std::u16string_view with) {
  const auto offset = [&text](const Position& position) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
      if (text[i] == u'\r' || text[i] == u'\n') starts.push_back(i + 1);
    }
    if (position.line < 0) return std::size_t{0};
    if (static_cast<std::size_t>(position.line) >= starts.size()) return text.size();
    const std::size_t start = starts[static_cast<std::size_t>(position.line)];
    std::size_t end = static_cast<std::size_t>(position.line) + 1 < starts.size() ? starts[static_cast<std::size_t>(position.line) + 1] : text.size();
    while (end > start && (text[end - 1] == u'\r' || text[end - 1] == u'\n')) --end;
    return std::min(start + static_cast<std::size_t>(std::max<std::int64_t>(position.character, 0)), end);
  };
  const std::size_t from = offset(range.start);
  const std::size_t to = std::max(from, offset(range.end));
  return text.replace(from, to - from, with);
}

TEST(DocumentText, ABatchOfChangesEndsAsTheChangesOneByOne) {
  std::mt19937 random(19);
  const std::u16string pieces[] = {u"a", u"bc", u"\n", u"\r", u"\r\n", u"", u"xyz\n"};
  const auto piece = [&] { return pieces[random() % std::size(pieces)]; };
  for (int round = 0; round < 300; ++round) {
    std::u16string start;
    for (int i = 0; i < 20; ++i) start += piece();
    std::vector<TextChange> changes;
    std::u16string expected = start;
    std::int64_t line = 0;
    for (int i = 0; i < 12; ++i) {
      // Mostly forward through the text, as a replace-all goes, now and then back.
      if (random() % 5 == 0) line = static_cast<std::int64_t>(random() % 8) - 1;
      else line += static_cast<std::int64_t>(random() % 3);
      const Position from{line, static_cast<std::int64_t>(random() % 4)};
      const Position to{line + static_cast<std::int64_t>(random() % 2), static_cast<std::int64_t>(random() % 5)};
      TextChange change{Range{from, to}, piece()};
      if (random() % 25 == 0) change.range.reset();
      expected = change.range ? ReplaceNaively(expected, *change.range, change.text) : change.text;
      changes.push_back(change);
    }
    DocumentText text(start);
    ASSERT_TRUE(text.Apply(changes, 1000));
    ASSERT_EQ(text.Text(), expected) << "round " << round;
    const DocumentText fresh(expected);
    ASSERT_EQ(text.LineCount(), fresh.LineCount()) << "round " << round;
    for (std::int64_t l = 0; l <= static_cast<std::int64_t>(fresh.LineCount()); ++l)
      ASSERT_EQ(text.Offset({l, 2}), fresh.Offset({l, 2})) << "round " << round << ", line " << l;
  }
}

TEST(DocumentText, ABatchThatGrowsTooLargeLeavesTheTextAsItWas) {
  DocumentText text(u"one\ntwo\n");
  EXPECT_FALSE(text.Apply({{Range{{0, 0}, {0, 0}}, u"1234"}, {Range{{1, 0}, {1, 0}}, u"5678"}}, 12));
  EXPECT_EQ(text.Text(), u"one\ntwo\n");
  EXPECT_EQ(text.LineCount(), 3u);
}

}  // namespace
}  // namespace quillshade::qsd::lsp
