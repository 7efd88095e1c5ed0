// Completion reads a line as the reader does: what it replaces is the label or keyword the engine sees there.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "story/script_line.h"
#include "story/utf8.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/text_source.h"
#include "tools/qsd/lsp/features.h"
#include "tools/qsd/lsp/story_document.h"

namespace quillshade::qsd::lsp {
namespace {

using Context = CompletionSpan::Context;

// With the cursor at the end of each label and of the commands the engine finds on the
// line, completion must replace exactly that label's last word, or offer keywords.
void ExpectSameReading(std::u16string_view line) {
  const ScriptLine parts = SplitScriptLine(line);
  const std::string shown = ToUtf8(line);
  const auto expectLabel = [&](const LinePart& label, std::u16string_view stops) {
    const auto span = CompletionSpanAt(line, label.End());
    ASSERT_TRUE(span) << shown;
    EXPECT_EQ(span->context, Context::Label) << shown;
    const std::size_t lastWord = label.text.find_last_of(stops);
    const std::size_t begins = label.at + (lastWord == std::u16string_view::npos ? 0 : lastWord + 1);
    EXPECT_EQ(span->start, begins) << shown;
  };
  if (parts.choiceAt != kAbsent) {
    for (const LinePart& choice : parts.choices)
      if (choice.Present()) expectLabel(choice, u", ");
  } else if (parts.commandsAt != kAbsent) {
    const auto span = CompletionSpanAt(line, parts.commands.End());
    ASSERT_TRUE(span) << shown;
    EXPECT_EQ(span->context, Context::Keyword) << shown;
  } else if (parts.jumpKind == JumpKind::Plain && !parts.jumpText.text.empty()) {
    expectLabel(parts.jumpText, u"");
  } else if (parts.jumpKind == JumpKind::OnFlag) {
    for (const LinePart& label : parts.jumpLabels)
      if (label.Present() && !label.text.empty() && label.text.front() != u' ') expectLabel(label, u",");
  }
  // Before any marker that acts, in the prefix or the shown text, nothing is offered.
  const std::size_t firstMarker = std::min({parts.choiceAt, parts.commandsAt, parts.jumpAt});
  for (std::size_t offset = 0; offset <= std::min(firstMarker, line.size()); ++offset)
    EXPECT_FALSE(CompletionSpanAt(line, offset)) << shown << " at " << offset;
}

TEST(CompletionSpanAt, ReadsLinesAsTheEngineDoes) {
  ExpectSameReading(u"go >>x then >>B[a],[b]");  // the jump is on flag B, though its first ">>" is no
  ExpectSameReading(u"[a??b] Text :: EN");       // a "??" inside the prefix is no choice list
  ExpectSameReading(u"Door. ?? [in],[out]");
  ExpectSameReading(u"  [x] go >> [far away]");
}

TEST(CompletionSpanAt, AgreesWithTheEngineOnGeneratedLines) {
  const std::u16string_view pieces[] = {u"[a]", u"[a??b", u"]", u"??", u"::", u">>", u">>B", u">>e", u"A",
                                        u",",   u" ",     u"go", u"END", u"[b]", u"x"};
  std::mt19937 random(17);
  for (int round = 0; round < 3000; ++round) {
    std::u16string line;
    const int count = static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) line += pieces[random() % std::size(pieces)];
    ExpectSameReading(line);
  }
}

TEST(CompletionSpanAt, AgreesWithTheEngineOnTheFixtures) {
  const std::filesystem::path root = QUILLSHADE_SOURCE_DIR;
  std::size_t lines = 0;
  for (const auto folder : {"examples", "tests/fixtures/check", "tests/fixtures/lsp"})
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      if (entry.path().extension() != ".txt") continue;
      const Result<std::string> input = ReadInput(entry.path().string());
      ASSERT_TRUE(input.ok()) << entry.path();
      const Result<std::u16string> text = ReadTextSource(input.value(), SourceEncoding::Utf8);
      if (!text.ok()) continue;  // a fixture of a broken source
      const std::u16string* story = &text.value();
      for (std::size_t start = 0; start < story->size(); ++lines) {
        const std::size_t end = std::min(story->find(u"\n", start), story->size());
        ExpectSameReading(std::u16string_view(*story).substr(start, end - start));
        start = end + 2;
      }
    }
  EXPECT_GT(lines, 100u);
}

// Taking any item leaves the line with its label once, whether the editor closed the
// bracket as it was typed or not; an item that replaces only the word typed last says
// so, since editors filter and insert by that word.
TEST(Complete, ATakenLabelStandsOnceAfterAnAutoClosedBracket) {
  const std::u16string text = u"Begin.\n[hall] Hall. :: END\n[hat] Hat. :: END\nGo >> []\nGo >> [ha]\nNo. ?? [ha\n";
  const auto story = StoryDocumentOf("file:///s.txt", 1, text, true);
  const std::pair<std::int64_t, std::u16string_view> cases[] = {{3, u"Go >> ["}, {4, u"Go >> [ha"}, {5, u"No. ?? [ha"}};
  for (const auto& [line, before] : cases) {
    const auto cursor = static_cast<std::int64_t>(before.size());
    const Completion completion = Complete(*story, {line, cursor});
    ASSERT_TRUE(std::any_of(completion.items.begin(), completion.items.end(),
                            [](const CompletionItem& item) { return item.label == "[hall]"; }))
        << ToUtf8(before);
    for (const CompletionItem& item : completion.items) {
      std::u16string taken(story->Line(static_cast<std::size_t>(line) + 1));
      ASSERT_EQ(item.replace.start.line, line);
      ASSERT_LE(item.replace.start.character, cursor);
      const auto from = static_cast<std::size_t>(item.replace.start.character);
      taken.replace(from, static_cast<std::size_t>(item.replace.end.character) - from, *FromUtf8(item.newText));
      EXPECT_EQ(ToUtf8(taken), ToUtf8(before.substr(0, before.find(u'['))) + item.label) << ToUtf8(before);
    }
  }
}

}  // namespace
}  // namespace quillshade::qsd::lsp
