// full-width-marker: script markers typed in their full-width forms, which an input
// method gives easily and the reader takes as plain text.
#include <algorithm>
#include <array>

#include "story/script_line.h"
#include "story/text.h"
#include "tools/qsd/lib/check_internal.h"

namespace quillshade::qsd {
namespace {

// A two-character marker, by the half-width and the full-width form of its character.
struct Marker {
  char16_t half;
  char16_t full;
};

constexpr Marker kChoice{kChoiceMarker[0], u'？'};
constexpr Marker kCommands{kCommandMarker[0], u'：'};
constexpr Marker kJump{kJumpMarker[0], u'＞'};
constexpr char16_t kFullOpen = u'［';
constexpr char16_t kFullClose = u'］';
constexpr std::array<char16_t, 2> kFullCommas{u'，', u'、'};
constexpr std::array<char16_t, 3> kAnyComma{kFieldSeparator, kFullCommas[0], kFullCommas[1]};

// The first two characters in [from, to) that would be the marker if written
// half-width: each the half-width or the full-width form, at least one full-width.
std::size_t FindMistyped(std::u16string_view line, const Marker& marker, std::size_t from, std::size_t to) {
  to = std::min(to, line.size());
  const auto either = [&](char16_t c) { return c == marker.half || c == marker.full; };
  for (std::size_t at = from; at + 1 < to; ++at)
    if (either(line[at]) && either(line[at + 1]) && (line[at] == marker.full || line[at + 1] == marker.full)) return at;
  return kAbsent;
}

std::string Written(const Marker& marker, std::u16string_view line, std::size_t at) {
  return Quote(line.substr(at, 2)) + " is not '" + std::string(2, static_cast<char>(marker.half)) + "'";
}

class FullWidthChecker {
 public:
  FullWidthChecker(const std::function<bool(std::u16string_view)>& exists, LineItems& items)
      : exists_(exists), items_(items) {}

  void Check(std::u16string_view raw) {
    const ScriptLine parts = SplitScriptLine(raw);
    const std::size_t end = raw.size();
    CheckPrefix(raw, parts);

    // "??" acts at its first place in the line, "::" at its first before the choices,
    // ">>" at its first before the commands.
    const std::size_t choicesAt = parts.choiceAt == kAbsent ? end : parts.choiceAt;
    if (const std::size_t at = FindMistyped(raw, kChoice, 0, choicesAt); at != kAbsent && LooksLikeChoices(raw, at))
      Warn(at, Written(kChoice, raw, at) + ": the reader shows it, and offers no choice; a choice is written '\?\?'");
    const std::size_t commandsAt = parts.commandsAt == kAbsent ? choicesAt : parts.commandsAt;
    if (const std::size_t at = FindMistyped(raw, kCommands, 0, commandsAt); at != kAbsent && FollowedByText(raw, at, choicesAt))
      Warn(at, Written(kCommands, raw, at) + ": the reader shows it, and runs no command; commands follow '::'");
    const std::size_t jumpAt = parts.jumpAt == kAbsent ? commandsAt : parts.jumpAt;
    if (const std::size_t at = FindMistyped(raw, kJump, 0, jumpAt); at != kAbsent && FollowedByText(raw, at, commandsAt))
      Warn(at, Written(kJump, raw, at) + ": the reader shows it, and does not jump; a jump is written '>>'");
    // A jump typed after "::" is command text, where its label may even hold END.
    if (parts.commandsAt != kAbsent) {
      const std::size_t at = FindMistyped(raw, kJump, parts.commandsAt, choicesAt);
      if (at != kAbsent && FollowedByText(raw, at, choicesAt))
        Warn(at, Written(kJump, raw, at) +
                     ": after '::' it is read as commands, never as a jump; a jump is written '>>' before '::'");
    }

    if (parts.Chooses()) CheckList(parts.choiceList, "answers");
    if (parts.jumpKind == JumpKind::OnFlag) CheckList(parts.jumpText, "labels");
  }

 private:
  void Warn(std::size_t at, std::string message, std::size_t length = 2) {
    LineItem& item = items_.emplace_back();
    item.check = "full-width-marker";
    item.column = static_cast<std::uint32_t>(at + 1);
    item.length = static_cast<std::uint32_t>(length);
    item.message = std::move(message);
  }

  static bool FollowedByText(std::u16string_view raw, std::size_t at, std::size_t to) {
    return !TrimSpaces(raw.substr(at + 2, to > at + 2 ? to - at - 2 : 0)).empty();
  }

  // Japanese prose may end a line in "？？"; only a list after it, or an answer that
  // some line begins with, makes it a choice gone wrong.
  bool LooksLikeChoices(std::u16string_view raw, std::size_t at) const {
    const std::u16string_view list = TrimSpaces(raw.substr(at + 2));
    if (list.empty()) return false;
    const std::size_t comma = list.find_first_of(std::u16string_view(kAnyComma.data(), kAnyComma.size()));
    return comma != std::u16string_view::npos || exists_(list);
  }

  void CheckPrefix(std::u16string_view raw, const ScriptLine& parts) {
    const std::u16string_view trimmed = TrimSpaces(raw);
    if (trimmed.empty()) return;
    const auto at = static_cast<std::size_t>(trimmed.data() - raw.data());
    if (trimmed.front() == kFullOpen)
      Warn(at, Quote(trimmed.substr(0, 1)) + " is not '[': the reader shows the whole line, and hides no prefix", 1);
    else if (parts.unclosedPrefix && trimmed.find(kFullClose) != std::u16string_view::npos)
      Warn(at + trimmed.find(kFullClose),
           Quote(std::u16string_view(&kFullClose, 1)) + " is not ']': the reader shows the whole line, '[' included", 1);
  }

  // "、" may stand inside a label; it is taken for a separator only where the list has
  // no ',' at all and is itself no label.
  void CheckList(const LinePart& list, std::string_view what) {
    const std::u16string_view text = list.text;
    std::size_t at = text.find(kFullCommas[0]);
    if (at == std::u16string_view::npos && text.find(kFieldSeparator) == std::u16string_view::npos &&
        !exists_(text))
      at = text.find(kFullCommas[1]);
    if (at == std::u16string_view::npos) return;
    const std::u16string_view field = FieldAt(text, at);
    Warn(list.at + at,
         Quote(text.substr(at, 1)) + " is not ',': it separates no " + std::string(what) + ", so " + Quote(field) +
             " is one label",
         1);
  }

  const std::function<bool(std::u16string_view)>& exists_;
  LineItems& items_;
};

}  // namespace

bool HoldsFullWidthForm(std::u16string_view line) {
  // Every character is looked at, without an early exit, so that the compiler checks
  // many at once: this runs on every line of the story.
  unsigned found = 0;
  for (const char16_t c : line)
    found |= static_cast<unsigned>(c == kJump.full) | static_cast<unsigned>(c == kChoice.full) |
             static_cast<unsigned>(c == kCommands.full) | static_cast<unsigned>(c == kFullOpen) |
             static_cast<unsigned>(c == kFullClose) | static_cast<unsigned>(c == kFullCommas[0]) |
             static_cast<unsigned>(c == kFullCommas[1]);
  return found != 0;
}

void RecordFullWidthMarkers(std::u16string_view line, const std::function<bool(std::u16string_view)>& exists,
                            LineItems& items) {
  FullWidthChecker(exists, items).Check(line);
}

}  // namespace quillshade::qsd
