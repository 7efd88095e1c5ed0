// The story of a document's next version made from the last one: the same, in every
// answer, as one made from nothing.
#include "tools/qsd/lsp/story_document.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <random>
#include <sstream>

#include "story/utf8.h"

namespace quillshade::qsd::lsp {
namespace {

// Every answer of two stories side by side: the text, what loading found, the lines, the
// label lookups of every beginning of a line, and places in both directions.
void ExpectSameStory(const StoryDocument& made, const StoryDocument& fresh) {
  ASSERT_EQ(made.text, fresh.text);
  ASSERT_EQ(made.loadable, fresh.loadable);
  ASSERT_EQ(made.loadDiagnostics.size(), fresh.loadDiagnostics.size());
  for (std::size_t i = 0; i < made.loadDiagnostics.size(); ++i) {
    const Diagnostic& a = made.loadDiagnostics[i];
    const Diagnostic& b = fresh.loadDiagnostics[i];
    EXPECT_EQ(std::tie(a.line, a.column, a.length, a.message, a.check), std::tie(b.line, b.column, b.length, b.message, b.check));
  }
  EXPECT_EQ(made.firstLineLength, fresh.firstLineLength);
  ASSERT_EQ(made.LineCount(), fresh.LineCount());
  for (std::size_t line = 1; line <= made.LineCount(); ++line) {
    ASSERT_EQ(made.Line(line), fresh.Line(line)) << "line " << line;
    ASSERT_EQ(made.Terminated(line), fresh.Terminated(line)) << "line " << line;
    const std::u16string_view text = made.Line(line);
    for (const std::size_t length : {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{5}, std::size_t{7}, text.size()}) {
      const std::u16string_view label = text.substr(0, length);
      if (label.empty()) continue;
      const LabelIndex::Found a = made.Labels().Find(label);
      const LabelIndex::Found b = fresh.Labels().Find(label);
      ASSERT_EQ(std::tie(a.first, a.second), std::tie(b.first, b.second)) << "line " << line << " label length " << length;
      ASSERT_EQ(made.LabelLine(label), fresh.LabelLine(label));
    }
    for (std::size_t offset = 0; offset <= text.size() + 1; offset += 3) {
      const Position a = made.ToEditor({line, offset});
      const Position b = fresh.ToEditor({line, offset});
      ASSERT_EQ(std::tie(a.line, a.character), std::tie(b.line, b.character)) << "line " << line;
      const auto placeA = made.ToStory({static_cast<std::int64_t>(line) - 1, static_cast<std::int64_t>(offset)});
      const auto placeB = fresh.ToStory({static_cast<std::int64_t>(line) - 1, static_cast<std::int64_t>(offset)});
      ASSERT_EQ(placeA.has_value(), placeB.has_value());
      if (placeA) {
        ASSERT_EQ(std::tie(placeA->line, placeA->offset), std::tie(placeB->line, placeB->offset));
      }
    }
  }
}

// The fixture in UTF-8, with "\\uXXXX" for the units a text file cannot hold alone.
std::u16string FixtureText() {
  std::ifstream in(std::string(QUILLSHADE_SOURCE_DIR) + "/tests/fixtures/lsp_story/edited.txt", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::u16string read = FromUtf8(bytes.str()).value_or(u"");
  std::u16string text;
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (read.compare(i, 2, u"\\u") == 0 && i + 6 <= read.size()) {
      text += static_cast<char16_t>(std::stoul(ToUtf8(read.substr(i + 2, 4)), nullptr, 16));
      i += 5;
    } else {
      text += read[i];
    }
  }
  return text;
}

// Random edits of a story with labels that share their first units, equal lines in
// threes, surrogate pairs and characters code page 932 lacks: inserts, deletes and
// line breaks of every kind, at the start, the end and between.
TEST(NextVersionOf, RandomEditsGiveTheStoryMadeFromNothing) {
  const std::u16string pieces[] = {u"x",  u"\n",          u"\r\n",      u"\r",        u"[scene",     u"[scene1] a",
                                   u">> [", u"\U0001F319", u"\u00E9",   u"\u30A2",    u"\n[scene2] b\n", u"same\n",
                                   u"\uFEFF", u"\xD800",  u":: AON",   u"\r\n\r\n", u"??"};
  std::mt19937 random(20261208);
  const auto below = [&](std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  std::u16string text = FixtureText();
  ASSERT_GT(text.size(), 2000u);
  std::shared_ptr<const StoryDocument> story = StoryDocumentOf("file:///s.txt", 1, DocumentText(text), true, nullptr);
  std::size_t patched = 0;
  std::size_t known = 0;  // changes since an earlier version that were known
  std::deque<std::shared_ptr<const StoryDocument>> earlier;
  constexpr int kEdits = 300;
  for (int edit = 0; edit < kEdits; ++edit) {
    const std::size_t kind = below(10);
    std::size_t at = kind == 0 ? 0 : kind == 1 ? text.size() : below(text.size() + 1);
    const std::size_t removed = std::min(text.size() - at, below(3) == 0 ? below(80) : below(3));
    std::u16string inserted;
    for (std::size_t n = below(3); n-- > 0;) inserted += pieces[below(std::size(pieces))];
    text.replace(at, removed, inserted);

    const DocumentText document(text);
    const std::int64_t version = edit + 2;
    auto next = NextVersionOf(*story, version, document);
    std::shared_ptr<const StoryDocument> made;
    if (auto* spliced = std::get_if<std::shared_ptr<const StoryDocument>>(&next)) made = *spliced, ++patched;
    else made = StoryDocumentOf("file:///s.txt", version, document, true, story.get());
    const auto fresh = StoryDocumentOf("file:///s.txt", version, std::u16string_view(text), true);
    SCOPED_TRACE("edit " + std::to_string(edit));
    ExpectSameStory(*made, *fresh);
    if (::testing::Test::HasFatalFailure()) return;
    // The lines said changed since each earlier version it knows take in every line that
    // differs: the rest are alike, with their line breaks.
    earlier.push_front(story);
    if (earlier.size() > 12) earlier.pop_back();
    EXPECT_EQ(made->ChangeSince(story).has_value(), made->fromNothing == std::nullopt);
    for (const auto& old : earlier) {
      const std::optional<ChangedLines> change = made->ChangeSince(old);
      if (!change) continue;
      ++known;
      ASSERT_EQ(change->Shift(), static_cast<std::ptrdiff_t>(made->LineCount()) - static_cast<std::ptrdiff_t>(old->LineCount()));
      const auto alike = [&](std::size_t was, std::size_t is) {
        return old->Line(was) == made->Line(is) && old->Terminated(was) == made->Terminated(is);
      };
      for (std::size_t line = 1; line < change->from; ++line) ASSERT_TRUE(alike(line, line)) << line;
      for (std::size_t line = change->oldEnd; line <= old->LineCount(); ++line)
        ASSERT_TRUE(alike(line, line + change->newEnd - change->oldEnd)) << line;
    }
    story = made;
  }
  EXPECT_GT(known, kEdits * 2);
  // Most of them are small, and the story must be made from the last one, not again.
  EXPECT_GT(patched, kEdits * 3 / 4);
}

// The changes where the last version cannot simply be spliced: the count of problems
// passes the number named one by one, the text stops or starts loading, a byte-order
// mark at the start, and one typed where a later line begins.
TEST(NextVersionOf, ChangesThatAreNotSimpleAreMadeFromNothing) {
  std::u16string many;
  for (int i = 0; i < 99; ++i) many += u"line \u00E9\n";
  const std::u16string body = u"[a] one\nline >> [a]\nthree\nfour\nfive\nsix\nseven\neight\n";
  const struct {
    std::u16string before;
    std::u16string after;
    std::optional<FromNothing> why;  // none: made from the version before
  } cases[] = {
      {many + body, many + u"\u00E9\u00E9" + body, FromNothing::ManyProblems},
      {many + u"\u00E9\u00E9" + body, many + u"\u00E9" + body, FromNothing::EarlierProblems},
      {body + body + u"x\n", body + body + std::u16string(u"x\0\n", 3), FromNothing::Refused},
      {std::u16string(u"x\0\n", 3) + body + body, body + body, FromNothing::EarlierRefused},
      {u"\uFEFF" + body + body, u"\uFEFF\uFEFF" + body + body, std::nullopt},
      {u"\uFEFF" + body + body, u"\uFEFF[a] two\n" + body.substr(8) + body, std::nullopt},
      {body + body, body + u"\uFEFF" + body, FromNothing::LaterMark},
      {body + u"\r" + body, body + u"\r\n" + body, std::nullopt},
      {body, body + body + u"x\n", FromNothing::LargeChange},
  };
  for (const auto& change : cases) {
    const auto story = StoryDocumentOf("file:///s.txt", 1, DocumentText(change.before), true, nullptr);
    const DocumentText document(change.after);
    const auto next = NextVersionOf(*story, 2, document);
    EXPECT_EQ(std::holds_alternative<FromNothing>(next) ? std::optional(std::get<FromNothing>(next)) : std::nullopt,
              change.why)
        << ToUtf8(change.after);
    ExpectSameStory(*StoryDocumentOf("file:///s.txt", 2, document, true, story.get()),
                    *StoryDocumentOf("file:///s.txt", 2, std::u16string_view(change.after), true));
  }
}

}  // namespace
}  // namespace quillshade::qsd::lsp
