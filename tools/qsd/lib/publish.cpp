// The published page: the reader page split at its story element, the codes between.
#include "tools/qsd/lib/publish.h"

#include <algorithm>

#include "story/code_page.h"
#include "story/decode.h"
#include "story/script_line.h"
#include "tools/qsd/lib/source_columns.h"
#include "tools/qsd/lib/source_encoder.h"
#include "tools/qsd/lib/text_source.h"

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

namespace {

bool SamePart(const LinePart& a, const LinePart& b) { return a.Present() == b.Present() && a.text == b.text; }

// Whether two lines do the same when the reader reaches them: every part but what they show.
bool SameScript(const ScriptLine& a, const ScriptLine& b) {
  if (!SamePart(a.prefix, b.prefix) || a.unclosedPrefix != b.unclosedPrefix || a.jumpKind != b.jumpKind ||
      a.jumpFlag != b.jumpFlag || !SamePart(a.jumpText, b.jumpText) ||
      (a.commandsAt == kAbsent) != (b.commandsAt == kAbsent) || a.effects.sets != b.effects.sets ||
      a.effects.clears != b.effects.clears || a.effects.ends != b.effects.ends ||
      (a.choiceAt == kAbsent) != (b.choiceAt == kAbsent) || !SamePart(a.unreachableChoices, b.unreachableChoices))
    return false;
  for (std::size_t i = 0; i < a.jumpLabels.size(); ++i)
    if (!SamePart(a.jumpLabels[i], b.jumpLabels[i])) return false;
  for (std::size_t i = 0; i < a.choices.size(); ++i)
    if (!SamePart(a.choices[i], b.choices[i])) return false;
  return true;
}

// The next line of a story text from `at`, which moves past its CR LF.
std::u16string_view NextLine(std::u16string_view text, std::size_t& at) {
  const std::size_t end = std::min(text.find(u"\r\n", at), text.size());
  const std::u16string_view line = text.substr(at, end - at);
  at = end + 2;
  return line;
}

}  // namespace

std::vector<PublishProblem> PublishProblems(std::u16string_view storyText, const std::vector<Unencodable>& replaced,
                                            bool replace) {
  std::vector<PublishProblem> problems;
  if (replaced.empty()) return problems;
  // The page is written from the reader's text, so reading its codes back gives what it plays.
  std::u16string readBack;
  CodeDecoder decoder(Cp932CodePage(), readBack);
  decoder.Feed(EncodeStory(storyText).codes);
  decoder.Finish();

  std::size_t next = 0;  // the first replaced character not yet placed
  std::size_t storyAt = 0;
  std::size_t readAt = 0;
  for (std::int64_t number = 1; next < replaced.size() && storyAt <= storyText.size(); ++number) {
    const std::u16string_view line = NextLine(storyText, storyAt);
    const std::u16string_view written = NextLine(readBack, readAt);
    if (replaced[next].place.line != number) continue;
    // The line as the source holds it: each '?' put back as the character it stands for.
    // Every other character the reader holds is one unit, so a column counts units.
    std::u16string source;
    std::vector<std::size_t> sourceAt;  // where each of this line's replaced characters stands in `source`
    const std::size_t first = next;
    std::size_t copied = 0;
    for (; next < replaced.size() && replaced[next].place.line == number; ++next) {
      const auto at = static_cast<std::size_t>(replaced[next].place.column - 1);
      source.append(line.substr(copied, at - copied));
      sourceAt.push_back(source.size());
      AppendCharacter(source, replaced[next].character);
      copied = at + 1;
    }
    source.append(line.substr(std::min(copied, line.size())));

    const auto problem = [&](std::size_t index, bool error, std::string message) {
      problems.push_back(
          PublishProblem{number, ScreenColumn(source, sourceAt[index - first]), error, std::move(message)});
    };
    if (!replace) {
      for (std::size_t i = first; i < next; ++i)
        problem(i, true, DescribeCharacter(replaced[i].character) +
                       " cannot be written in code page 932 (--replace-unencodable writes '?' for it)");
    } else if (!SameScript(SplitScriptLine(source), SplitScriptLine(written))) {
      problem(first, true, "writing '?' for " + DescribeCharacter(replaced[first].character) +
                         " would change what this line does (its prefix, choices, commands, END or jump), so the "
                         "page would not play as the story does");
    } else {
      for (std::size_t i = first; i < next; ++i)
        problem(i, false, DescribeCharacter(replaced[i].character) + " cannot be written in code page 932; wrote '?'");
    }
  }
  return problems;
}

}  // namespace quillshade::qsd
