// Columns of findings as the source holds its lines: UTF-16 units for JSON and SARIF, screen columns for the text.
#include "tools/qsd/lib/source_columns.h"

#include <algorithm>
#include <array>
#include <utility>

#include "story/utf16.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {
namespace {

using Range = std::pair<char32_t, char32_t>;  // first and last character

// Unicode's East Asian Width W and F, ranges merged where the gaps hold no character.
constexpr std::array kWide = {
    Range{0x1100, 0x115F},   Range{0x231A, 0x231B},   Range{0x2329, 0x232A},   Range{0x23E9, 0x23EC},
    Range{0x23F0, 0x23F0},   Range{0x23F3, 0x23F3},   Range{0x25FD, 0x25FE},   Range{0x2614, 0x2615},
    Range{0x2648, 0x2653},   Range{0x267F, 0x267F},   Range{0x2693, 0x2693},   Range{0x26A1, 0x26A1},
    Range{0x26AA, 0x26AB},   Range{0x26BD, 0x26BE},   Range{0x26C4, 0x26C5},   Range{0x26CE, 0x26CE},
    Range{0x26D4, 0x26D4},   Range{0x26EA, 0x26EA},   Range{0x26F2, 0x26F3},   Range{0x26F5, 0x26F5},
    Range{0x26FA, 0x26FA},   Range{0x26FD, 0x26FD},   Range{0x2705, 0x2705},   Range{0x270A, 0x270B},
    Range{0x2728, 0x2728},   Range{0x274C, 0x274C},   Range{0x274E, 0x274E},   Range{0x2753, 0x2755},
    Range{0x2757, 0x2757},   Range{0x2795, 0x2797},   Range{0x27B0, 0x27B0},   Range{0x27BF, 0x27BF},
    Range{0x2B1B, 0x2B1C},   Range{0x2B50, 0x2B50},   Range{0x2B55, 0x2B55},   Range{0x2E80, 0x303E},
    Range{0x3041, 0x3247},   Range{0x3250, 0x4DBF},   Range{0x4E00, 0xA4CF},   Range{0xA960, 0xA97F},
    Range{0xAC00, 0xD7A3},   Range{0xF900, 0xFAFF},   Range{0xFE10, 0xFE19},   Range{0xFE30, 0xFE6F},
    Range{0xFF00, 0xFF60},   Range{0xFFE0, 0xFFE6},   Range{0x16FE0, 0x16FF1}, Range{0x17000, 0x18D08},
    Range{0x1AFF0, 0x1B2FB}, Range{0x1F004, 0x1F004}, Range{0x1F0CF, 0x1F0CF}, Range{0x1F18E, 0x1F18E},
    Range{0x1F191, 0x1F19A}, Range{0x1F200, 0x1F265}, Range{0x1F300, 0x1F320}, Range{0x1F32D, 0x1F335},
    Range{0x1F337, 0x1F37C}, Range{0x1F37E, 0x1F393}, Range{0x1F3A0, 0x1F3CA}, Range{0x1F3CF, 0x1F3D3},
    Range{0x1F3E0, 0x1F3F0}, Range{0x1F3F4, 0x1F3F4}, Range{0x1F3F8, 0x1F43E}, Range{0x1F440, 0x1F440},
    Range{0x1F442, 0x1F4FC}, Range{0x1F4FF, 0x1F53D}, Range{0x1F54B, 0x1F54E}, Range{0x1F550, 0x1F567},
    Range{0x1F57A, 0x1F57A}, Range{0x1F595, 0x1F596}, Range{0x1F5A4, 0x1F5A4}, Range{0x1F5FB, 0x1F64F},
    Range{0x1F680, 0x1F6C5}, Range{0x1F6CC, 0x1F6CC}, Range{0x1F6D0, 0x1F6D2}, Range{0x1F6D5, 0x1F6D7},
    Range{0x1F6DC, 0x1F6DF}, Range{0x1F6EB, 0x1F6EC}, Range{0x1F6F4, 0x1F6FC}, Range{0x1F7E0, 0x1F7EB},
    Range{0x1F7F0, 0x1F7F0}, Range{0x1F90C, 0x1F93A}, Range{0x1F93C, 0x1F945}, Range{0x1F947, 0x1F9FF},
    Range{0x1FA70, 0x1FAFF}, Range{0x20000, 0x2FFFD}, Range{0x30000, 0x3FFFD},
};

// Combining marks an editor draws over the character before them, and characters it
// does not draw at all.
constexpr std::array kZeroWidth = {
    Range{0x0300, 0x036F}, Range{0x200B, 0x200F}, Range{0x2060, 0x2064},   Range{0x20D0, 0x20FF},
    Range{0x3099, 0x309A}, Range{0xFE00, 0xFE0F}, Range{0xFE20, 0xFE2F},   Range{0xFEFF, 0xFEFF},
    Range{0xE0100, 0xE01EF},
};

template <std::size_t N>
bool In(const std::array<Range, N>& ranges, char32_t character) {
  const auto after = std::upper_bound(ranges.begin(), ranges.end(), character,
                                      [](char32_t c, const Range& range) { return c < range.first; });
  return after != ranges.begin() && character <= std::prev(after)->second;
}

constexpr std::int64_t kTabStop = 8;

// One line with findings on it, as the source holds it: where each unit of the story's
// line stands in UTF-16 units and on the screen.
struct SourceLine {
  std::vector<std::int64_t> units;   // [i]: the source's units before the story's unit i
  std::vector<std::int64_t> screen;  // [i]: the screen column of the story's unit i, from 1
};

SourceLine ReadSourceLine(std::u16string_view storyLine, const Unencodable* replaced, const Unencodable* end) {
  SourceLine line;
  line.units.reserve(storyLine.size() + 1);
  line.screen.reserve(storyLine.size() + 1);
  std::int64_t units = 0;
  std::int64_t screen = 1;
  for (std::size_t i = 0; i < storyLine.size(); ++i) {
    line.units.push_back(units);
    line.screen.push_back(screen);
    char32_t character = storyLine[i];
    if (replaced != end && replaced->place.column == static_cast<std::int64_t>(i) + 1) character = (replaced++)->character;
    units += character > 0xFFFF ? 2 : 1;
    screen = character == u'\t' ? screen + kTabStop - (screen - 1) % kTabStop : screen + static_cast<std::int64_t>(ScreenWidth(character));
  }
  line.units.push_back(units);
  line.screen.push_back(screen);
  return line;
}

}  // namespace

std::size_t ScreenWidth(char32_t character) {
  if (In(kZeroWidth, character)) return 0;
  return In(kWide, character) ? 2 : 1;
}

std::int64_t ScreenColumn(std::u16string_view line, std::size_t at) {
  return ReadSourceLine(line.substr(0, std::min(at, line.size())), nullptr, nullptr).screen.back();
}

void PlaceInSource(std::u16string_view storyText, const std::vector<Unencodable>& replaced,
                   const std::vector<Diagnostic*>& diagnostics) {
  std::vector<Diagnostic*> byLine = diagnostics;
  std::stable_sort(byLine.begin(), byLine.end(), [](const Diagnostic* a, const Diagnostic* b) { return a->line < b->line; });
  const StoryLines lines(storyText);
  // Each line once, however many findings it holds.
  std::int64_t lineNumber = 0;
  SourceLine line;
  // A place past the line's end (its line break) keeps its distance from the end.
  const auto at = [](const std::vector<std::int64_t>& columns, std::int64_t unit) {
    const auto last = static_cast<std::int64_t>(columns.size()) - 1;
    return unit <= last ? columns[static_cast<std::size_t>(unit)] : columns.back() + (unit - last);
  };
  for (Diagnostic* diagnostic : byLine) {
    if (diagnostic->line < 1 || static_cast<std::size_t>(diagnostic->line) > lines.Count()) continue;
    if (diagnostic->line != lineNumber) {
      lineNumber = diagnostic->line;
      const auto first = std::partition_point(replaced.begin(), replaced.end(),
                                              [&](const Unencodable& bad) { return bad.place.line < lineNumber; });
      const auto end = std::partition_point(first, replaced.end(),
                                            [&](const Unencodable& bad) { return bad.place.line == lineNumber; });
      line = ReadSourceLine(lines.Text(static_cast<std::size_t>(lineNumber)), std::to_address(first),
                            std::to_address(end));
    }
    const std::int64_t start = std::max<std::int64_t>(diagnostic->column - 1, 0);
    const std::int64_t end = start + std::max<std::int64_t>(diagnostic->length, 0);
    diagnostic->screenColumn = at(line.screen, start);
    diagnostic->column = at(line.units, start) + 1;
    diagnostic->length = at(line.units, end) - at(line.units, start);
  }
}

}  // namespace quillshade::qsd
