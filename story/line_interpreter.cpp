// The line interpreter: one step of reading, the line split by the line model and its effects applied to the story.
#include "story/line_interpreter.h"

#include "story/script_line.h"
#include "story/text.h"

namespace quillshade {

LineReading ReadingAt(std::u16string_view text, std::int32_t readPos) {
  if (readPos <= 0 || static_cast<std::size_t>(readPos) > text.size()) return {};
  return ReadingAt(text, readPos, FindLineBreak(text, static_cast<std::size_t>(readPos) - 1));
}

LineReading ReadingAt(std::u16string_view text, std::int32_t readPos, std::size_t lineEnd) {
  LineReading reading;
  if (readPos <= 0) return reading;
  const std::size_t begin = static_cast<std::size_t>(readPos) - 1;
  if (begin >= text.size() || lineEnd == std::u16string_view::npos) return reading;
  reading.lineEnd = lineEnd;
  reading.read = true;

  const std::u16string_view raw = text.substr(begin, reading.lineEnd - begin);
  // A line without script only shows its text and reads on.
  if (IsPlainLine(raw)) {
    reading.shown.fill(TrimSpaces(raw));
    return reading;
  }
  const ScriptLine line = SplitScriptLine(raw);
  if (line.choiceAt != kAbsent) reading.choiceList = line.choiceList.text;
  reading.sets = line.effects.sets;
  reading.clears = line.effects.clears;
  // A jump on a flag goes one way or the other by that flag alone.
  const LineExits whenClear = ExitsOf(line, 0);
  reading.testedFlag = whenClear.testedFlag;
  const LineExits whenSet =
      reading.testedFlag < kFlagCount ? ExitsOf(line, static_cast<FlagBits>(1u << reading.testedFlag)) : whenClear;
  std::size_t way = 0;
  for (const LineExits& exits : {whenClear, whenSet}) {
    reading.down[way] = exits.down;
    reading.target[way] = exits.target;
    reading.shown[way] = line.Showing().text;
    ++way;
  }
  return reading;
}

namespace {

template <typename FindLabel>
LineStep ReadLineOf(std::u16string_view text, Story& story, const FindLabel& findLabel) {
  const LineReading line = ReadingAt(text, story.ReadPos);
  if (!line.read) return {};
  if (line.choiceList) story.ChoiceList = *line.choiceList;
  // Only the flags the commands name change; clearing comes after setting, so it wins.
  for (std::size_t flag = 0; flag < kFlagCount; ++flag) {
    if ((line.sets >> flag) & 1u) story.Flag(flag) = kTrue;
    if ((line.clears >> flag) & 1u) story.Flag(flag) = kFalse;
  }
  const std::size_t way = line.Way(FlagsOf(story));
  switch (line.down[way]) {
    case Flow::End:
      return {0, line.shown[way]};
    case Flow::Jump:
      return {findLabel(line.target[way]), line.shown[way]};
    case Flow::NextLine:
      break;
  }
  return {LineAfter(line.lineEnd), line.shown[way]};
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
