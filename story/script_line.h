// One story line split into its script parts, without applying anything to a story.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillshade {

inline constexpr std::size_t kAbsent = std::u16string_view::npos;

// The parts of one line (the text between two CR LF), as the line interpreter sees
// them. The parts are split off the end: "??" first, then "::", then ">>". Views point
// into the line that was split; offsets are 0-based into it, kAbsent for a missing part.
struct ScriptLine {
  bool unclosedPrefix = false;       // the trimmed line begins with "[" but has no "]"
  std::size_t prefixEnd = kAbsent;   // one past the "]" of a bracketed prefix
  std::size_t choiceAt = kAbsent;    // the first "??"
  std::u16string_view choiceList;    // the trimmed text after it
  std::size_t commandsAt = kAbsent;  // the first "::" before the choices
  std::u16string_view commands;      // the trimmed text after it, as written
  std::u16string_view shownWithJump; // the trimmed text before "::": what an END line shows
  std::size_t jumpAt = kAbsent;      // the first ">>" in that text
  // 0..4 when ">>A" .. ">>E" stands anywhere in that text (the first of A..E found
  // decides), at conditionalAt; -1 for a plain jump.
  int conditionalFlag = -1;
  std::size_t conditionalAt = kAbsent;
  // A plain jump's target, or a conditional jump's label list, which always begins one
  // character after the first ">>" whatever that character is.
  std::u16string_view jumpText;
  std::u16string_view shown;         // what the line shows when it does not end the story
};

ScriptLine SplitScriptLine(std::u16string_view line);

// Where a non-empty view that points into `line` begins in it; kAbsent for an empty view.
std::size_t OffsetIn(std::u16string_view line, std::u16string_view part);

// The command keywords, looked for anywhere in the upper-cased command text.
inline constexpr std::array<std::u16string_view, 5> kSetKeywords{u"AON", u"BON", u"CON", u"DON", u"EON"};
inline constexpr std::array<std::u16string_view, 5> kClearKeywords{u"AOFF", u"BOFF", u"COFF", u"DOFF", u"EOFF"};
inline constexpr std::u16string_view kEndKeyword = u"END";

// What a command text does. Bit i stands for flag A + i; a flag that is both set and
// cleared ends up cleared, and END acts after all flag changes.
struct CommandEffects {
  std::uint8_t sets = 0;
  std::uint8_t clears = 0;
  bool ends = false;
};

CommandEffects ReadCommands(std::u16string_view commands);

}  // namespace quillshade
