// The line model: what one story line shows and does, with where each part stands.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "story/choice.h"
#include "story/story.h"

namespace quillshade {

inline constexpr std::size_t kAbsent = std::u16string_view::npos;

// The markers of the script syntax. A jump on a flag is the jump marker followed
// directly by a flag letter (">>A" .. ">>E").
inline constexpr std::u16string_view kChoiceMarker = u"??";
inline constexpr std::u16string_view kCommandMarker = u"::";
inline constexpr std::u16string_view kJumpMarker = u">>";
inline constexpr char16_t kPrefixOpen = u'[';
inline constexpr char16_t kPrefixClose = u']';

// What a label cannot hold and still be read whole wherever it is written (a prefix, a
// jump's target or label list, a choice list): a field separator, a prefix's end, a line
// break, or a marker.
inline constexpr std::array<std::u16string_view, 7> kLabelSplitters{
    std::u16string_view(&kFieldSeparator, 1), std::u16string_view(&kPrefixClose, 1), u"\r", u"\n", kChoiceMarker,
    kCommandMarker, kJumpMarker};

// The prefix that a text begins with: "[" as its first character up to the first "]",
// brackets included; empty when it does not begin with "[" or holds no "]" after it.
std::u16string_view LeadingPrefix(std::u16string_view text);

// Whether a label is written as a whole prefix ("[go]"): a jump to it finds a line by
// its hidden prefix.
bool IsBracketedLabel(std::u16string_view label);

// ">>" and a lower-case a .. e is a plain jump, the letter part of its target: the flag
// whose capital that letter is, or kFlagCount for any other character.
std::size_t FlagOfLowerCase(char16_t letter);

// The command keywords, in the order they take effect: all settings, then all clearings
// (so for one flag the clearing wins), then END after every flag change. Each is found
// anywhere in the upper-cased command text, inside longer words too.
enum class CommandKind : std::uint8_t { Set, Clear, End };

struct Keyword {
  std::u16string_view text;
  CommandKind kind;
  std::size_t flag;         // Set and Clear: the flag's index; End: kFlagCount
  std::string_view effect;  // what it does, in words for a writer
};

inline constexpr std::array<Keyword, 2 * kFlagCount + 1> kKeywords{{
    {u"AON", CommandKind::Set, 0, "sets flag A"},
    {u"BON", CommandKind::Set, 1, "sets flag B"},
    {u"CON", CommandKind::Set, 2, "sets flag C"},
    {u"DON", CommandKind::Set, 3, "sets flag D"},
    {u"EON", CommandKind::Set, 4, "sets flag E"},
    {u"AOFF", CommandKind::Clear, 0, "clears flag A"},
    {u"BOFF", CommandKind::Clear, 1, "clears flag B"},
    {u"COFF", CommandKind::Clear, 2, "clears flag C"},
    {u"DOFF", CommandKind::Clear, 3, "clears flag D"},
    {u"EOFF", CommandKind::Clear, 4, "clears flag E"},
    {u"END", CommandKind::End, kFlagCount, "ends the story"},
}};
inline constexpr std::size_t kEndKeyword = kKeywords.size() - 1;  // END's index in kKeywords
static_assert(kKeywords[kEndKeyword].kind == CommandKind::End);

// A part of a line: `at` is its 0-based offset in the line (its column is at + 1,
// counting UTF-16 code units), kAbsent when the line has no such part; `text` points
// into the line. A part that is present but empty has the offset where it would begin.
struct LinePart {
  std::size_t at = kAbsent;
  std::u16string_view text;

  bool Present() const { return at != kAbsent; }
  std::size_t End() const { return at + text.size(); }  // one past its last code unit
};

// What the command text of a line does. Bit i stands for flag i (A + i); a flag that is
// both set and cleared ends up cleared. The offsets are those of each keyword's first
// occurrence in the line, kAbsent where it does not occur.
struct CommandEffects {
  FlagBits sets = 0;
  FlagBits clears = 0;
  bool ends = false;
  std::array<std::size_t, kKeywords.size()> keywordAt{};  // by index into kKeywords

  FlagBits Apply(FlagBits flags) const { return static_cast<FlagBits>((flags | sets) & ~clears); }
  // The flags the line leaves set whatever they were: those it sets and does not clear.
  FlagBits LeavesSet() const { return static_cast<FlagBits>(sets & ~clears); }
};

enum class JumpKind : std::uint8_t { None, Plain, OnFlag };

// One story line (the text between two CR LF) as the line interpreter reads it. The
// parts are split off its end: at the first "??" the choices, in what is left at the
// first "::" the commands, in what is left then at the first ">>" the jump.
struct ScriptLine {
  // "[" as the first character of the trimmed line up to the first "]", brackets
  // included; never shown. A "[" without "]" is no prefix and is shown.
  LinePart prefix;
  bool unclosedPrefix = false;

  LinePart shown;          // what the line shows when it does not end the story
  LinePart shownWithJump;  // what it shows with END: the text before "::", jump included

  JumpKind jumpKind = JumpKind::None;
  std::size_t jumpAt = kAbsent;  // the first ">>"
  // A jump on a flag: the flag, and the first of ">>A" .. ">>E" found (tested in that
  // order) anywhere in the text before "::", which may stand after jumpAt.
  std::size_t jumpFlag = kFlagCount;
  std::size_t flagMarkerAt = kAbsent;
  // A plain jump's target, or a jump on a flag's label list, which always begins one
  // character after the first ">>" whatever that character is; trimmed.
  LinePart jumpText;
  // A jump on a flag: the label taken when the flag is set (field 0 of the list) and
  // when it is not (field 1); an absent second label is empty.
  std::array<LinePart, 2> jumpLabels;

  std::size_t commandsAt = kAbsent;  // the first "::" before the choices
  LinePart commands;                 // the trimmed text after it, as written
  CommandEffects effects;

  std::size_t choiceAt = kAbsent;  // the first "??"
  LinePart choiceList;             // the trimmed text after it
  // The labels that the choice keys answer, by key; a missing field is absent and an
  // empty one present but empty: either way its key does nothing.
  std::array<LinePart, kChoiceKeyCount> choices;
  // The fields from the sixth on, which no key reaches; absent when there are none.
  LinePart unreachableChoices;

  bool HasJump() const { return jumpKind != JumpKind::None; }
  bool Ends() const { return effects.ends; }
  // What the line shows: with END, the text before "::" with any jump still in it.
  const LinePart& Showing() const { return Ends() ? shownWithJump : shown; }
  // Of a line with a jump: where the jump's text begins before it is trimmed, right
  // after the first ">>", and for a jump on a flag one character later, whatever that
  // character is.
  std::size_t JumpTextFrom() const {
    return jumpAt + kJumpMarker.size() + (jumpKind == JumpKind::OnFlag ? 1 : 0);
  }
  // A non-empty choice list: the keys, not Down, go on from this line.
  bool Chooses() const { return !choiceList.text.empty(); }
  // No jump, commands or choice list (not even an empty one): the line shows its text,
  // past any prefix, and Down goes on to the next line. Every line IsPlainLine accepts.
  bool OnlyShows() const { return !HasJump() && commandsAt == kAbsent && choiceAt == kAbsent; }
};

ScriptLine SplitScriptLine(std::u16string_view line);

// A line without any script: no prefix, jump, commands or choices, so that all it does
// is show its text, trimmed. Most lines of a story are such, and this settles them in
// one look at their characters.
bool IsPlainLine(std::u16string_view line);

// Where reading goes from a line once its commands have taken effect.
enum class Flow : std::uint8_t {
  NextLine,  // the line after it
  Jump,      // the first line that begins with `target`, from the line break before it
  End,       // END: the story stops
};

struct LineExits {
  Flow down = Flow::NextLine;
  // Flow::Jump: the text the label line must begin with. An empty target matches the
  // first line break of the text.
  std::u16string_view target;
  // A jump on a flag decided the target: that flag's index; otherwise kFlagCount.
  std::size_t testedFlag = kFlagCount;
  // While the line leaves a choice pending, the keys decide instead of Down: each
  // non-empty label leads to the first line that begins with it, right after the label.
  bool choosing = false;
  std::array<std::u16string_view, kChoiceKeyCount> choices{};
};

// A line's exits, for the flags as its own commands leave them (the flags its jump
// tests): flags = line.effects.Apply(flags before the line).
LineExits ExitsOf(const ScriptLine& line, FlagBits flags);

}  // namespace quillshade
