// The line interpreter: one step of reading, the line split by the line model and its effects applied to the story.
#include "story/line_interpreter.h"

#include "story/script_line.h"
#include "story/text.h"

namespace quillshade {
namespace {

template <typename FindLabel>
LineStep ReadLineOf(std::u16string_view text, Story& story, const FindLabel& findLabel) {
  if (story.ReadPos <= 0) return {};
  const std::size_t begin = static_cast<std::size_t>(story.ReadPos) - 1;
  if (begin >= text.size()) return {};
  const std::size_t lineEnd = FindLineBreak(text, begin);
  if (lineEnd == std::u16string_view::npos) return {};

  const std::u16string_view raw = text.substr(begin, lineEnd - begin);
  // A line without script only shows its text and reads on.
  if (IsPlainLine(raw)) return {static_cast<std::int32_t>(lineEnd + 3), TrimSpaces(raw)};
  const ScriptLine line = SplitScriptLine(raw);
  if (line.choiceAt != kAbsent) story.ChoiceList = line.choiceList.text;
  // Only the flags the commands name change; clearing comes after setting, so it wins.
  for (std::size_t flag = 0; flag < kFlagCount; ++flag) {
    if ((line.effects.sets >> flag) & 1u) story.Flag(flag) = kTrue;
    if ((line.effects.clears >> flag) & 1u) story.Flag(flag) = kFalse;
  }
  const LineExits exits = ExitsOf(line, FlagsOf(story));
  switch (exits.down) {
    case Flow::End:  // shows the line with any jump part still in it, and the jump is not followed
      return {0, line.shownWithJump.text};
    case Flow::Jump:
      return {findLabel(exits.target), line.shown.text};
    case Flow::NextLine:
      break;
  }
  return {static_cast<std::int32_t>(lineEnd + 3), line.shown.text};
}

}  // namespace

LineStep ReadNextLine(Story& story) {
  const std::u16string_view text = story.StoryText;
  return ReadLineOf(text, story, [text](std::u16string_view label) { return FindLabelLine(text, label); });
}

LineStep ReadNextLine(std::u16string_view text, const LabelIndex& labels, Story& state) {
  return ReadLineOf(text, state, [&labels](std::u16string_view label) { return labels.Find(label).first; });
}

}  // namespace quillshade
