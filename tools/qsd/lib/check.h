// qsd check: the traps of a story, found by reading its lines and walking every state.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "story/story.h"
#include "tools/qsd/lib/background.h"
#include "tools/qsd/lib/result.h"
#include "tools/qsd/lib/source_encoder.h"
#include "tools/qsd/lib/text_source.h"
#include "tools/qsd/lib/walk.h"

namespace quillshade {
class LabelIndex;
}

namespace quillshade::qsd {

struct LoadedStory;
struct LineCheckMemo;
class StoryLines;

enum class Severity { Warning, Error };

struct Diagnostic {
  std::int64_t line = 1;    // the story line
  // 1-based, counting UTF-16 code units of that line: of the story text as the checks
  // read it, where a character the page cannot hold is one "?", until CheckFile gives
  // it in the units of the source (PlaceInSource).
  std::int64_t column = 1;
  std::int64_t length = 0;  // code units from the column: the part the problem is about
  Severity severity = Severity::Warning;
  std::string message;
  std::string_view check;   // the check's name, one of AllChecks()
  std::string note;         // a hint beside the message, such as "did you mean '[left]'?"
  std::int64_t lastLine = 0;  // the last story line a problem of several lines spans; 0: its own line only
  std::optional<WayIn> wayIn;  // how the reader reaches the place, when it does
  // The column as an editor's screen counts it (see ScreenColumn), set by CheckFile for
  // the text format; 0: not known, the column stands for it.
  std::int64_t screenColumn = 0;
  // The findings that only follow from this one (lines its missing label leaves
  // unreached, flags it leaves unset or untested), said with it rather than on their own,
  // so that the first finding is the one to fix; each keeps its own check and place.
  std::vector<Diagnostic> folded{};
};

// How a finding folded under another is said beside it: where it stands, what it says
// and its check. Every output format says it so.
std::string FoldedNote(const Diagnostic& folded);

// "FILE:LINE:COL: error: message [check-name]", COL in screen columns where known.
std::string FormatDiagnostic(std::string_view file, const Diagnostic& diagnostic);

struct CheckInfo {
  std::string_view name;
  Severity severity;
  std::string_view summary;
};

const std::vector<CheckInfo>& AllChecks();

// The default fits a 450-pixel window: its caption text gets about 265 pixels between
// the icon and the three 46-pixel buttons, at 6 pixels for a half-width character.
inline constexpr std::size_t kDefaultWidth = 44;
// A state costs the walk about 50 bytes at most, so the default keeps the walk near
// 25 MB, whatever the size of the story: beside the text and an index of its lines, a
// check then holds little more than a reader does. A story of ten thousand lines whose
// every line is read with every mix of the five flags needs two thirds of it.
inline constexpr std::uint64_t kDefaultMaxStates = 500'000;

// The lines an edit changed: lines [from, oldEnd) of the earlier version became
// [from, newEnd) of this one, and every other line is the same text with the same line
// break, shifted by newEnd - oldEnd lines when it comes after them.
struct ChangedLines {
  std::size_t from = 0;
  std::size_t oldEnd = 0;
  std::size_t newEnd = 0;
  std::ptrdiff_t Shift() const { return static_cast<std::ptrdiff_t>(newEnd) - static_cast<std::ptrdiff_t>(oldEnd); }
  bool None() const { return from == oldEnd && from == newEnd; }
};
// The change of `first` followed by `second` (whose earlier version is `first`'s later):
// both changes' lines and those between them.
ChangedLines Then(const ChangedLines& first, const ChangedLines& second);

struct CheckOptions {
  std::size_t width = kDefaultWidth;
  std::uint64_t maxStates = kDefaultMaxStates;
  std::uint64_t maxScan = kDefaultMaxScan;  // see kDefaultMaxScan
  // Set from another thread, it makes the walk give up at its next step (an editor
  // has moved on to a newer text); not ours.
  const std::atomic<bool>* stop = nullptr;
  Threads threads = Threads::Two;  // whether the walk runs beside the line checks
  bool keepWalk = false;           // hand the walk back in the report (an editor's hover asks it)
  bool walk = true;                // false: the line checks alone, which an editor shows first
  bool fold = true;                // false: a finding that follows from another is said on its own too
  // The line checks of an earlier version of the same story (a report's `lineChecks`):
  // only the lines that differ from it, and those resting on labels they touch, are read
  // again. An editor checks version after version so.
  std::shared_ptr<const LineCheckMemo> earlierLines;
  // The lines changed since that version, as the editor's document worked them out; none
  // known, the story is checked whole.
  std::optional<ChangedLines> earlierChange;
  // Given, the owner of the text checked: the report then keeps its line checks.
  std::shared_ptr<const void> keepLinesFor;
};

// Where a story sets and tests its flags (bit i: flag A + i), on lines that reading
// reaches, with the first such place of each flag; flags D and E are judged across all
// the stories checked together, since they carry over from one story to the next.
struct FlagUse {
  FlagBits set = 0;
  FlagBits tested = 0;
  std::array<Diagnostic, kFlagCount> firstSet{};
  std::array<Diagnostic, kFlagCount> firstTest{};
};

struct StoryReport {
  std::vector<Diagnostic> diagnostics;
  FlagUse flags;
  std::shared_ptr<const WalkResult> walk;  // with keepWalk, once the story could be walked
  std::shared_ptr<const LineCheckMemo> lineChecks;  // with keepLinesFor, for the next version
};

// All checks of one decoded story text, exactly as the reader holds it; flags D and E
// are left to JudgeCarriedFlags.
StoryReport CheckStoryText(std::u16string_view text, const CheckOptions& options);
// The same over the text's lines and label index as a caller already holds them (an
// editor keeps them for every version), so that they are not made twice.
StoryReport CheckStoryText(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                           const CheckOptions& options);

// Set-but-never-tested and tested-but-never-set for flags D and E over stories checked
// together: one list of diagnostics per story, in the order given.
std::vector<std::vector<Diagnostic>> JudgeCarriedFlags(const std::vector<FlagUse>& stories);

// A story as `qsd check` loads it, before the checks: the text the reader would hold,
// and what loading found (a story file's tokens that add nothing, a text source's
// characters that code page 932 cannot hold, or why it does not load at all).
struct LoadedForCheck {
  bool loaded = false;  // the checks apply
  std::u16string text;
  // In the story text's units, as every check's; a source refused has its one place
  // in the source's units, and its screen column, as there is no story text.
  std::vector<Diagnostic> diagnostics;
  // A text source's characters that the page cannot hold, each a "?" in `text`.
  std::vector<Unencodable> replaced;
};

// A story file as the reader decoded it.
LoadedForCheck LoadForCheck(LoadedStory story);
// A text source's bytes, encoded and decoded again.
LoadedForCheck LoadForCheck(std::string_view source, SourceEncoding encoding);

// A story file or a text source, told apart by its content, loaded as `qsd check` loads
// it, or why the file could not be read at all. "-" reads stdin.
Result<LoadedForCheck> LoadFileForCheck(const std::string& path, SourceEncoding encoding);

// The story's text alone, loaded as LoadFileForCheck loads it, for the commands that
// walk a story rather than check it; a story the reader cannot load is a failure, named
// by its first finding.
Result<std::u16string> LoadStoryText(const std::string& path, SourceEncoding encoding);

// One file checked as `qsd check` checks it: every column, that of D and E's first
// places too, in the UTF-16 units of the file's lines as its source holds them.
struct CheckedFile {
  std::string name;
  std::optional<std::string> unreadable;  // why the file could not be read: no diagnostics then
  std::vector<Diagnostic> diagnostics;
  bool analysed = false;                  // the story loaded and every check ran on it
  FlagUse flags;
};

// Reads a story file or a text source and checks it; a story that does not load, or a
// source that does not encode, gets the diagnostics that say why. "-" reads stdin.
CheckedFile CheckFile(const std::string& path, SourceEncoding encoding, const CheckOptions& options);

// Judges flags D and E across files checked together, then sorts each file's
// diagnostics by their place.
void JudgeFilesTogether(std::vector<CheckedFile>& files);



}  // namespace quillshade::qsd
