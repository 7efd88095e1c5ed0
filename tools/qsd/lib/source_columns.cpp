// Columns of findings as the source holds its lines: UTF-16 units for JSON and SARIF, screen columns for the text.
#include "tools/qsd/lib/source_columns.h"

#include <algorithm>
#include <array>
#include <utility>

#include "story/utf16.h"
#include "story/text.h"

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

std::int64_t ScreenAfter(std::int64_t screen, char32_t character) {
  if (character == u'\t') return screen + kTabStop - (screen - 1) % kTabStop;
  return screen + static_cast<std::int64_t>(ScreenWidth(character));
}

// Where one unit of a line of the story text stands as the source holds the line.
struct SourcePlace {
  std::int64_t unit = 0;    // the story's unit, from 0; past the line's end it keeps its distance
  std::int64_t source = 0;  // the source's units before it
  std::int64_t screen = 1;  // its screen column
};

// Fills in `places`, sorted by unit, in one pass over the line; `replaced` runs over the
// line's characters that the page cannot hold, in order.
void PlaceOnLine(std::u16string_view line, const Unencodable* replaced, const Unencodable* end,
                 std::vector<SourcePlace>& places) {
  std::int64_t source = 0;
  std::int64_t screen = 1;
  std::size_t next = 0;
  for (std::size_t i = 0; i <= line.size() && next < places.size(); ++i) {
    for (; next < places.size() && places[next].unit <= static_cast<std::int64_t>(i); ++next) {
      const std::int64_t past = places[next].unit - static_cast<std::int64_t>(i);
      places[next].source = source + past;
      places[next].screen = screen + past;
    }
    if (i == line.size()) break;
    char32_t character = line[i];
    if (replaced != end && replaced->place.column == static_cast<std::int64_t>(i) + 1) character = (replaced++)->character;
    source += character > 0xFFFF ? 2 : 1;
    screen = ScreenAfter(screen, character);
  }
}

}  // namespace

std::size_t ScreenWidth(char32_t character) {
  if (In(kZeroWidth, character)) return 0;
  return In(kWide, character) ? 2 : 1;
}

std::int64_t ScreenColumn(std::u16string_view line, std::size_t at) {
  std::int64_t screen = 1;
  for (std::size_t i = 0; i < std::min(at, line.size()); ++i) screen = ScreenAfter(screen, line[i]);
  return screen;
}

void PlaceInSource(std::u16string_view storyText, const std::vector<Unencodable>& replaced,
                   const std::vector<Diagnostic*>& diagnostics) {
  std::vector<Diagnostic*> byLine = diagnostics;
  std::stable_sort(byLine.begin(), byLine.end(), [](const Diagnostic* a, const Diagnostic* b) { return a->line < b->line; });
  // One pass over the text, each line with findings read once: the memory is that of
  // the findings, whatever the length of the text or of its lines.
  std::int64_t lineNumber = 1;
  std::size_t lineStart = 0;
  std::vector<SourcePlace> places;
  for (std::size_t first = 0; first < byLine.size();) {
    const std::int64_t line = byLine[first]->line;
    std::size_t last = first;
    while (last < byLine.size() && byLine[last]->line == line) ++last;
    while (lineNumber < line && lineStart <= storyText.size()) {
      const std::size_t lineBreak = FindLineBreak(storyText, lineStart);
      lineStart = lineBreak == std::u16string_view::npos ? storyText.size() + 1 : lineBreak + 2;
      ++lineNumber;
    }
    if (line >= 1 && lineStart <= storyText.size()) {
      const std::size_t lineEnd = std::min(FindLineBreak(storyText, lineStart), storyText.size());
      places.clear();
      for (std::size_t i = first; i < last; ++i) {
        const std::int64_t start = std::max<std::int64_t>(byLine[i]->column - 1, 0);
        places.push_back({start});
        places.push_back({start + std::max<std::int64_t>(byLine[i]->length, 0)});
      }
      std::sort(places.begin(), places.end(), [](const SourcePlace& a, const SourcePlace& b) { return a.unit < b.unit; });
      const auto onLine = std::partition_point(replaced.begin(), replaced.end(),
                                               [&](const Unencodable& bad) { return bad.place.line < line; });
      const auto offLine = std::partition_point(onLine, replaced.end(),
                                                [&](const Unencodable& bad) { return bad.place.line == line; });
      PlaceOnLine(storyText.substr(lineStart, lineEnd - lineStart), std::to_address(onLine), std::to_address(offLine),
                  places);
      const auto at = [&places](std::int64_t unit) {
        return *std::lower_bound(places.begin(), places.end(), unit,
                                 [](const SourcePlace& place, std::int64_t u) { return place.unit < u; });
      };
      for (std::size_t i = first; i < last; ++i) {
        Diagnostic& diagnostic = *byLine[i];
        const std::int64_t start = std::max<std::int64_t>(diagnostic.column - 1, 0);
        const SourcePlace from = at(start);
        const SourcePlace to = at(start + std::max<std::int64_t>(diagnostic.length, 0));
        diagnostic.screenColumn = from.screen;
        diagnostic.column = from.source + 1;
        diagnostic.length = to.source - from.source;
      }
    }
    first = last;
  }
}

}  // namespace quillshade::qsd
