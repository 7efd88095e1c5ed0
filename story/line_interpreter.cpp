// The script of a story line, split off its end: choices first, then commands, then a jump.
#include "story/line_interpreter.h"

#include <array>

#include "story/choice.h"
#include "story/text.h"

namespace quillshade {
namespace {

struct FlagKeywords {
  std::u16string_view on;
  std::u16string_view off;
  std::int16_t Story::*flag;
};

constexpr std::array<FlagKeywords, 5> kFlags{{
    {u"AON", u"AOFF", &Story::FlagA},
    {u"BON", u"BOFF", &Story::FlagB},
    {u"CON", u"COFF", &Story::FlagC},
    {u"DON", u"DOFF", &Story::FlagD},
    {u"EON", u"EOFF", &Story::FlagE},
}};

constexpr std::array<std::u16string_view, 5> kConditionalJumps{u">>A", u">>B", u">>C", u">>D", u">>E"};

// Keywords are found anywhere in the upper-cased command text, inside longer words too.
// All settings come before all clearings, so for one flag the clearing keyword wins.
void ApplyFlagCommands(Story& story, std::u16string_view upperCommands) {
  for (const auto& keywords : kFlags)
    if (Contains(upperCommands, keywords.on)) story.*keywords.flag = kTrue;
  for (const auto& keywords : kFlags)
    if (Contains(upperCommands, keywords.off)) story.*keywords.flag = kFalse;
}

// The text a jump's label line must begin with. A conditional jump anywhere in the rest
// of the line decides the kind, but its label list always starts one character after
// the first ">>", whatever that character is.
std::u16string JumpTarget(const Story& story, std::u16string_view line, std::size_t jumpAt) {
  for (std::size_t i = 0; i < kConditionalJumps.size(); ++i) {
    if (!Contains(line, kConditionalJumps[i])) continue;
    const std::u16string_view labels = TrimSpaces(line.substr(jumpAt + 3));
    const bool flagSet = story.*kFlags[i].flag == kTrue;
    return PickField(labels, flagSet ? 0 : 1);
  }
  return std::u16string(TrimSpaces(line.substr(jumpAt + 2)));
}

}  // namespace

LineStep ReadNextLine(Story& story) {
  if (story.ReadPos <= 0) return {};
  const std::u16string_view text = story.StoryText;
  const std::size_t begin = static_cast<std::size_t>(story.ReadPos) - 1;
  if (begin >= text.size()) return {};
  const std::size_t lineEnd = FindLineBreak(text, begin);
  if (lineEnd == std::u16string_view::npos) return {};

  std::u16string_view line = TrimSpaces(text.substr(begin, lineEnd - begin));
  if (!line.empty() && line.front() == u'[') {
    if (const std::size_t close = line.find(u']'); close != std::u16string_view::npos)
      line = TrimSpaces(line.substr(close + 1));
  }
  if (const std::size_t at = line.find(u"??"); at != std::u16string_view::npos) {
    story.ChoiceList = TrimSpaces(line.substr(at + 2));
    line = TrimSpaces(line.substr(0, at));
  }
  if (const std::size_t at = line.find(u"::"); at != std::u16string_view::npos) {
    const std::u16string commands = UpperAscii(TrimSpaces(line.substr(at + 2)));
    line = TrimSpaces(line.substr(0, at));
    ApplyFlagCommands(story, commands);
    // END shows the line with any jump part still in it, and the jump is not followed.
    if (Contains(commands, u"END")) return {0, std::u16string(line)};
  }
  const std::size_t jumpAt = line.find(u">>");
  if (jumpAt == std::u16string_view::npos)
    return {static_cast<std::int32_t>(lineEnd + 3), std::u16string(line)};

  const std::u16string target = JumpTarget(story, line, jumpAt);
  return {FindLabelLine(text, target), std::u16string(TrimSpaces(line.substr(0, jumpAt)))};
}

}  // namespace quillshade
