// The label index answers exactly what the reader's own label search answers.
#include "story/label_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "story/text.h"

namespace quillshade {
namespace {

// What FindLabelLine finds first and next, by the search itself.
LabelIndex::Found Searched(std::u16string_view text, std::u16string_view label) {
  LabelIndex::Found found{FindLabelLine(text, label), 0};
  if (found.first != 0) {
    const auto rest = static_cast<std::size_t>(found.first);
    if (const std::int32_t next = FindLabelLine(text.substr(rest), label); next != 0)
      found.second = static_cast<std::int32_t>(rest) + next;
  }
  return found;
}

TEST(LabelIndex, FirstAndNextLineThatBeginsWithTheLabel) {
  const std::u16string text = u"[a] one\r\ngone\r\n[b] two\r\ngo\r\ngo on\r\n[a]";
  const LabelIndex index(text);
  EXPECT_EQ(index.Find(u"go").first, 8);    // "gone" comes before "go"
  EXPECT_EQ(index.Find(u"go").second, 23);
  EXPECT_EQ(index.Find(u"[a]").first, 34);  // line 1 is never found, the unbroken tail is
  EXPECT_EQ(index.Find(u"[a]").second, 0);
  EXPECT_EQ(index.Find(u"[c]").first, 0);
  EXPECT_EQ(index.Find(u"").first, 8);      // the empty label: the first line break
  EXPECT_EQ(index.Find(u"").second, 14);
}

TEST(LabelIndex, AgreesWithTheSearchOnRandomTexts) {
  std::mt19937 random(7);
  const std::u16string alphabet(u"ab\0[] \r\n\r\n", 10);
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    // Every tenth text long enough to hold hundreds of line breaks, many blocks of the tree;
    // every third one made of a few lines repeated, with runs of equal lines.
    const int length = static_cast<int>(random() % (round % 10 == 0 ? 3000 : 60));
    // Lines without CR or LF that share a beginning of up to six units.
    std::u16string lines[3];
    for (int i = static_cast<int>(random() % 7); i > 0; --i) lines[0].push_back(alphabet[random() % 5]);
    for (std::u16string& line : lines) {
      line = lines[0];
      for (int i = static_cast<int>(random() % 8); i > 0; --i) line.push_back(alphabet[random() % 5]);
    }
    while (static_cast<int>(text.size()) < length)
      if (round % 3 == 0)
        text += lines[random() % 2 ? 0 : random() % 3] + u"\r\n";
      else
        text.push_back(alphabet[random() % alphabet.size()]);
    const LabelIndex index(text);
    for (int probe = 0; probe < 20; ++probe) {
      std::u16string label;
      const int size = static_cast<int>(random() % 14);
      if (probe % 2 == 0)  // most of these begin some line
        label = lines[random() % 3].substr(0, static_cast<std::size_t>(size));
      else
        for (int i = 0; i < size; ++i) label.push_back(alphabet[random() % alphabet.size()]);
      const LabelIndex::Found want = Searched(text, label);
      const LabelIndex::Found got = index.Find(label);
      EXPECT_EQ(got.first, want.first) << "round " << round << " probe " << probe;
      EXPECT_EQ(got.second, want.second) << "round " << round << " probe " << probe;
    }
  }
}

TEST(LabelIndex, EmptyTextAndTextWithoutLineBreaks) {
  EXPECT_EQ(LabelIndex(u"").Find(u"x").first, 0);
  EXPECT_EQ(LabelIndex(u"x").Find(u"x").first, 0);
  EXPECT_EQ(LabelIndex(u"x").Find(u"").first, 0);
}

}  // namespace
}  // namespace quillshade
