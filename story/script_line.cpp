// Splitting a story line into prefix, shown text, jump, commands and choices.
#include "story/script_line.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "story/text.h"

namespace quillshade {
namespace {

// A part that is a view into `line`, placed by where the view begins.
LinePart PartOf(std::u16string_view line, std::u16string_view part) {
  return LinePart{static_cast<std::size_t>(part.data() - line.data()), part};
}

// A jump on a flag: the flags are tried in the order A to E, each at the first ">>"
// directly followed by its letter anywhere in the text; the first flag found wins.
struct JumpOnFlag {
  std::size_t flag = kFlagCount;  // none
  std::size_t at = std::u16string_view::npos;
};

// Every ">>" is looked at once, keeping the first place of each flag's letter after it.
JumpOnFlag FindJumpOnFlag(std::u16string_view text) {
  std::array<std::size_t, kFlagCount> first;
  first.fill(std::u16string_view::npos);
  for (std::size_t at = text.find(kJumpMarker); at != std::u16string_view::npos;
       at = text.find(kJumpMarker, at + 1)) {
    if (at + kJumpMarker.size() >= text.size()) break;
    const std::size_t flag = kFlagLetters.find(text[at + kJumpMarker.size()]);
    if (flag != std::u16string_view::npos && first[flag] == std::u16string_view::npos) first[flag] = at;
  }
  for (std::size_t flag = 0; flag < kFlagCount; ++flag)
    if (first[flag] != std::u16string_view::npos) return {flag, first[flag]};
  return {};
}

// The first place of an upper-case keyword in the text, its ASCII letters in either case.
std::size_t FindKeyword(std::u16string_view text, std::u16string_view keyword) {
  for (std::size_t at = 0; at + keyword.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < keyword.size() && UpperAscii(text[at + i]) == keyword[i]) ++i;
    if (i == keyword.size()) return at;
  }
  return std::u16string_view::npos;
}

CommandEffects ReadCommands(std::u16string_view line, std::u16string_view commands) {
  const std::size_t base = static_cast<std::size_t>(commands.data() - line.data());
  CommandEffects effects;
  for (std::size_t i = 0; i < kKeywords.size(); ++i) {
    const Keyword& keyword = kKeywords[i];
    const std::size_t found = FindKeyword(commands, keyword.text);
    effects.keywordAt[i] = found == std::u16string_view::npos ? kAbsent : base + found;
    if (found == std::u16string_view::npos) continue;
    const auto bit = static_cast<FlagBits>(1u << keyword.flag);
    if (keyword.kind == CommandKind::Set) effects.sets = static_cast<FlagBits>(effects.sets | bit);
    if (keyword.kind == CommandKind::Clear) effects.clears = static_cast<FlagBits>(effects.clears | bit);
    if (keyword.kind == CommandKind::End) effects.ends = true;
  }
  return effects;
}

void SplitChoices(std::u16string_view line, ScriptLine& parts) {
  const std::u16string_view list = parts.choiceList.text;
  for (std::size_t key = 0; key < kChoiceKeyCount; ++key)
    if (const auto field = FindField(list, static_cast<std::int32_t>(key))) parts.choices[key] = PartOf(line, *field);
  if (const auto sixth = FindField(list, kChoiceKeyCount))
    parts.unreachableChoices = PartOf(line, list.substr(static_cast<std::size_t>(sixth->data() - list.data())));
}

void SplitJump(std::u16string_view line, std::u16string_view beforeCommands, ScriptLine& parts) {
  const std::size_t jumpAt = beforeCommands.find(kJumpMarker);
  if (jumpAt == std::u16string_view::npos) return;
  const std::size_t base = PartOf(line, beforeCommands).at;
  parts.jumpAt = base + jumpAt;
  parts.shown = PartOf(line, TrimSpaces(beforeCommands.substr(0, jumpAt)));
  const JumpOnFlag onFlag = FindJumpOnFlag(beforeCommands);
  parts.jumpKind = onFlag.flag != kFlagCount ? JumpKind::OnFlag : JumpKind::Plain;
  if (parts.jumpKind == JumpKind::OnFlag) {
    parts.jumpFlag = onFlag.flag;
    parts.flagMarkerAt = base + onFlag.at;
    // The marker lies at or after the first ">>", so jumpAt + 3 stays inside the text.
    assert(onFlag.at >= jumpAt && jumpAt + kJumpMarker.size() + 1 <= beforeCommands.size());
  }
  parts.jumpText = PartOf(line, TrimSpaces(beforeCommands.substr(parts.JumpTextFrom() - base)));
  if (parts.jumpKind != JumpKind::OnFlag) return;
  for (std::int32_t field = 0; field < 2; ++field) {
    const auto label = FindField(parts.jumpText.text, field);
    parts.jumpLabels[static_cast<std::size_t>(field)] = label ? PartOf(line, *label) : LinePart{};
  }
}

}  // namespace

std::u16string_view LeadingPrefix(std::u16string_view text) {
  if (text.empty() || text.front() != kPrefixOpen) return {};
  const std::size_t close = text.find(kPrefixClose);
  return close == std::u16string_view::npos ? std::u16string_view{} : text.substr(0, close + 1);
}

bool IsBracketedLabel(std::u16string_view label) {
  return !label.empty() && LeadingPrefix(label).size() == label.size();
}

std::size_t FlagOfLowerCase(char16_t letter) {
  if (UpperAscii(letter) == letter) return kFlagCount;
  const std::size_t flag = kFlagLetters.find(UpperAscii(letter));
  return flag == std::u16string_view::npos ? kFlagCount : flag;
}

ScriptLine SplitScriptLine(std::u16string_view line) {
  ScriptLine parts;
  std::u16string_view rest = TrimSpaces(line);
  if (IsPlainLine(rest)) {
    parts.shownWithJump = parts.shown = PartOf(line, rest);
    return parts;
  }
  if (const std::u16string_view prefix = LeadingPrefix(rest); !prefix.empty()) {
    parts.prefix = PartOf(line, prefix);
    rest = TrimSpaces(rest.substr(prefix.size()));
  } else {
    parts.unclosedPrefix = !rest.empty() && rest.front() == kPrefixOpen;
  }
  if (const std::size_t at = rest.find(kChoiceMarker); at != std::u16string_view::npos) {
    parts.choiceAt = PartOf(line, rest).at + at;
    parts.choiceList = PartOf(line, TrimSpaces(rest.substr(at + kChoiceMarker.size())));
    rest = TrimSpaces(rest.substr(0, at));
    SplitChoices(line, parts);
  }
  if (const std::size_t at = rest.find(kCommandMarker); at != std::u16string_view::npos) {
    parts.commandsAt = PartOf(line, rest).at + at;
    parts.commands = PartOf(line, TrimSpaces(rest.substr(at + kCommandMarker.size())));
    parts.effects = ReadCommands(line, parts.commands.text);
    rest = TrimSpaces(rest.substr(0, at));
  }
  parts.shownWithJump = PartOf(line, rest);
  parts.shown = parts.shownWithJump;
  SplitJump(line, rest, parts);
  return parts;
}

bool IsPlainLine(std::u16string_view line) {
  const std::u16string_view trimmed = TrimSpaces(line);
  if (!trimmed.empty() && trimmed.front() == kPrefixOpen) return false;
  // Without an early exit the compiler checks many characters at once; lines are short.
  unsigned marker = 0;
  for (const char16_t c : trimmed)
    marker |= static_cast<unsigned>(c == kChoiceMarker[0]) | static_cast<unsigned>(c == kCommandMarker[0]) |
              static_cast<unsigned>(c == kJumpMarker[0]);
  return marker == 0;
}

LineExits ExitsOf(const ScriptLine& line, FlagBits flags) {
  LineExits exits;
  if (line.Chooses()) {
    exits.choosing = true;
    for (std::size_t key = 0; key < kChoiceKeyCount; ++key) exits.choices[key] = line.choices[key].text;
  }
  if (line.Ends()) {
    exits.down = Flow::End;
  } else if (line.jumpKind == JumpKind::Plain) {
    exits.down = Flow::Jump;
    exits.target = line.jumpText.text;
  } else if (line.jumpKind == JumpKind::OnFlag) {
    exits.down = Flow::Jump;
    exits.testedFlag = line.jumpFlag;
    exits.target = line.jumpLabels[(flags >> line.jumpFlag) & 1u ? 0 : 1].text;
  }
  return exits;
}

}  // namespace quillshade
