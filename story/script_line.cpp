// Splitting a story line into prefix, shown text, jump, commands and choices.
#include "story/script_line.h"

#include "story/text.h"

namespace quillshade {
namespace {

constexpr std::array<std::u16string_view, 5> kConditionalJumps{u">>A", u">>B", u">>C", u">>D", u">>E"};

}  // namespace

std::size_t OffsetIn(std::u16string_view line, std::u16string_view part) {
  if (part.empty()) return kAbsent;
  return static_cast<std::size_t>(part.data() - line.data());
}

ScriptLine SplitScriptLine(std::u16string_view raw) {
  ScriptLine parts;
  std::u16string_view line = TrimSpaces(raw);
  if (!line.empty() && line.front() == u'[') {
    if (const std::size_t close = line.find(u']'); close != std::u16string_view::npos) {
      parts.prefixEnd = OffsetIn(raw, line) + close + 1;
      line = TrimSpaces(line.substr(close + 1));
    } else {
      parts.unclosedPrefix = true;
    }
  }
  if (const std::size_t at = line.find(u"??"); at != std::u16string_view::npos) {
    parts.choiceAt = OffsetIn(raw, line) + at;
    parts.choiceList = TrimSpaces(line.substr(at + 2));
    line = TrimSpaces(line.substr(0, at));
  }
  if (const std::size_t at = line.find(u"::"); at != std::u16string_view::npos) {
    parts.commandsAt = OffsetIn(raw, line) + at;
    parts.commands = TrimSpaces(line.substr(at + 2));
    line = TrimSpaces(line.substr(0, at));
  }
  parts.shownWithJump = line;
  parts.shown = line;
  const std::size_t jumpAt = line.find(u">>");
  if (jumpAt == std::u16string_view::npos) return parts;

  parts.jumpAt = OffsetIn(raw, line) + jumpAt;
  parts.shown = TrimSpaces(line.substr(0, jumpAt));
  for (std::size_t i = 0; i < kConditionalJumps.size(); ++i) {
    const std::size_t marker = line.find(kConditionalJumps[i]);
    if (marker == std::u16string_view::npos) continue;
    parts.conditionalFlag = static_cast<int>(i);
    parts.conditionalAt = OffsetIn(raw, line) + marker;
    // The marker lies at or after the first ">>", so jumpAt + 3 stays inside the line.
    parts.jumpText = TrimSpaces(line.substr(jumpAt + 3));
    return parts;
  }
  parts.jumpText = TrimSpaces(line.substr(jumpAt + 2));
  return parts;
}

CommandEffects ReadCommands(std::u16string_view commands) {
  const std::u16string upper = UpperAscii(commands);
  CommandEffects effects;
  for (std::size_t i = 0; i < kSetKeywords.size(); ++i) {
    if (Contains(upper, kSetKeywords[i])) effects.sets = static_cast<std::uint8_t>(effects.sets | (1u << i));
    if (Contains(upper, kClearKeywords[i])) effects.clears = static_cast<std::uint8_t>(effects.clears | (1u << i));
  }
  effects.ends = Contains(upper, kEndKeyword);
  return effects;
}

}  // namespace quillshade
