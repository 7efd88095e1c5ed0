// Edits of open documents, counted in UTF-16 units over lines that LF, CR LF or CR end.
#include "tools/qsd/lsp/documents.h"

#include <gtest/gtest.h>

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
}

TEST(DocumentText, ReplaceCountsASurrogatePairAsTwoUnits) {
  DocumentText text(u"a\U0001F319b\nc");
  text.Replace({{0, 3}, {1, 0}}, u"-");
  EXPECT_EQ(text.Text(), u"a\U0001F319-c");
  EXPECT_EQ(text.LineCount(), 1u);
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

}  // namespace
}  // namespace quillshade::qsd::lsp
