// The figures of `qsd stats`, from a story's lines and its walk.
#include "tools/qsd/lib/stats.h"

#include <algorithm>

#include "story/script_line.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {
namespace {

bool IsWordUnit(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'\'' ||
         c == u'-';
}

}  // namespace

ShownCount CountShown(std::u16string_view shown) {
  ShownCount count;
  bool inWord = false;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const char16_t c = shown[i];
    const bool wordUnit = IsWordUnit(c);
    if (wordUnit && !inWord) ++count.words;
    inWord = wordUnit;
    // A surrogate pair is one character; spaces, ASCII and the ideographic space are none.
    if (c >= 0x80 && c != u'\u3000' && !(c >= 0xDC00 && c <= 0xDFFF)) ++count.characters;
  }
  return count;
}

void StoryStats::Add(const StoryStats& other) {
  lines += other.lines;
  linesShown += other.linesShown;
  characters += other.characters;
  words += other.words;
  choices += other.choices;
  answers += other.answers;
  jumps += other.jumps;
  flagsUsed = static_cast<FlagBits>(flagsUsed | other.flagsUsed);
  linesToReach += other.linesToReach;
  linesReached += other.linesReached;
  walked = walked && other.walked;
  if (other.widestWidth > widestWidth) {
    widestWidth = other.widestWidth;
    widestLine = other.widestLine;
  }
  for (std::size_t kind = 0; kind < endingsByKind.size(); ++kind) endingsByKind[kind] += other.endingsByKind[kind];
}

StoryStats ComputeStats(std::u16string_view text, const StoryLines& lines, const WalkResult& walk) {
  StoryStats stats;
  stats.lines = lines.Count();
  stats.walked = walk.complete;
  for (std::size_t line = 1; line <= lines.Count() && lines.Terminated(line); ++line) {
    const std::u16string_view raw = lines.Text(line);
    // A line that only answers reach is seen without its label.
    std::size_t labelLength = 0;
    if (walk.complete && walk.lineReached[line] && !FirstShown(walk, line)) {
      const auto answer = std::lower_bound(walk.answeredFirst.begin(), walk.answeredFirst.end(), line,
                                           [](const Arrival& a, std::size_t l) { return a.line < l; });
      if (answer != walk.answeredFirst.end() && answer->line == line) labelLength = answer->labelLength;
    }
    const LinePart shown = ShownPart(raw, labelLength);
    if (!shown.text.empty()) {
      ++stats.linesShown;
      ++stats.linesToReach;
      if (walk.complete && walk.lineReached[line]) ++stats.linesReached;
      const ShownCount count = CountShown(shown.text);
      stats.characters += count.characters;
      stats.words += count.words;
      if (const std::size_t width = DisplayWidth(shown.text); width > stats.widestWidth) {
        stats.widestWidth = width;
        stats.widestLine = line;
      }
    }
    if (IsPlainLine(raw)) continue;
    const ScriptLine parts = SplitScriptLine(raw);
    if (parts.Chooses()) {
      ++stats.choices;
      for (const LinePart& answer : parts.choices)
        if (answer.Present() && !answer.text.empty()) ++stats.answers;
    }
    if (parts.HasJump()) ++stats.jumps;
    stats.flagsUsed = static_cast<FlagBits>(stats.flagsUsed | parts.effects.sets | parts.effects.clears);
    if (parts.jumpFlag != kFlagCount) stats.flagsUsed = static_cast<FlagBits>(stats.flagsUsed | (1u << parts.jumpFlag));
  }
  // A walk that met its limit may miss endings: none are counted then.
  if (walk.complete) stats.endings = FindEndings(text, lines, walk);
  for (const Ending& ending : stats.endings) ++stats.endingsByKind[static_cast<std::size_t>(ending.kind)];
  return stats;
}

}  // namespace quillshade::qsd
