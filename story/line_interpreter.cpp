// The script of a story line, split off its end: choices first, then commands, then a jump.
#include "story/line_interpreter.h"

#include <array>

#include "story/choice.h"
#include "story/script_line.h"
#include "story/text.h"

namespace quillshade {
namespace {

constexpr std::array<std::int16_t Story::*, 5> kFlags{&Story::FlagA, &Story::FlagB, &Story::FlagC,
                                                      &Story::FlagD, &Story::FlagE};

// Keywords are found anywhere in the upper-cased command text, inside longer words too.
// All settings come before all clearings, so for one flag the clearing keyword wins.
void ApplyFlagCommands(Story& story, const CommandEffects& effects) {
  for (std::size_t i = 0; i < kFlags.size(); ++i)
    if (effects.sets & (1u << i)) story.*kFlags[i] = kTrue;
  for (std::size_t i = 0; i < kFlags.size(); ++i)
    if (effects.clears & (1u << i)) story.*kFlags[i] = kFalse;
}

// The text a jump's label line must begin with: a conditional jump picks the first
// label of its list when its flag is set, the second otherwise.
std::u16string JumpTarget(const Story& story, const ScriptLine& parts) {
  if (parts.conditionalFlag < 0) return std::u16string(parts.jumpText);
  const bool flagSet = story.*kFlags[static_cast<std::size_t>(parts.conditionalFlag)] == kTrue;
  return PickField(parts.jumpText, flagSet ? 0 : 1);
}

}  // namespace

LineStep ReadNextLine(Story& story) {
  if (story.ReadPos <= 0) return {};
  const std::u16string_view text = story.StoryText;
  const std::size_t begin = static_cast<std::size_t>(story.ReadPos) - 1;
  if (begin >= text.size()) return {};
  const std::size_t lineEnd = FindLineBreak(text, begin);
  if (lineEnd == std::u16string_view::npos) return {};

  const ScriptLine parts = SplitScriptLine(text.substr(begin, lineEnd - begin));
  if (parts.choiceAt != kAbsent) story.ChoiceList = parts.choiceList;
  if (parts.commandsAt != kAbsent) {
    const CommandEffects effects = ReadCommands(parts.commands);
    ApplyFlagCommands(story, effects);
    // END shows the line with any jump part still in it, and the jump is not followed.
    if (effects.ends) return {0, std::u16string(parts.shownWithJump)};
  }
  if (parts.jumpAt == kAbsent) return {static_cast<std::int32_t>(lineEnd + 3), std::u16string(parts.shown)};
  return {FindLabelLine(text, JumpTarget(story, parts)), std::u16string(parts.shown)};
}

}  // namespace quillshade
