// What the line checks learn of each line, kept so that an edited story's next version
// re-checks only the lines the edit changed and the lines that depend on labels it changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/qsd/lib/label_suggestion.h"

namespace quillshade::qsd {

inline constexpr std::uint32_t kNoLabelId = 0xFFFF'FFFF;

// One thing a line check found or must judge on a line. A finding is decided by the line
// alone; a label is judged once the story's labels are known, since a finding about it
// names other lines. Items never change once recorded, so that versions share them; so
// that a line carried to the next version moves with everything it says, no item holds
// a line number: places are columns of its own line, or lines counted from it.
struct LineItem {
  enum class Kind : std::uint8_t {
    Finding,           // `check` at `column`, `length`, with its message and note
    JumpLabel,         // a label a jump looks for
    ChoiceLabel,       // a label a choice looks for
    LowercaseJump,     // '>>a'..'>>e' plus the label: a plain jump that may mean a flag
    SameChoiceTarget,  // a choice whose `answers` may all lead to one line
    Query,             // a label whose presence a finding of the line rests on
    // An answer (`label`) whose reading runs on into the line of another (`bracketed`),
    // `line` lines after the choice: said on the line before that one.
    AnswerRunsOn,
  };
  Kind kind = Kind::Finding;
  std::string_view check;
  std::uint32_t column = 0;  // 1-based, in UTF-16 units of the item's own line
  std::uint32_t length = 0;  // UTF-16 units from `column`
  std::uint32_t line = 0;    // an answer running on: how many lines after its choice's line it enters
  std::string message;
  std::string note;
  // Labels by their ids in the memo's table: a line carried over to the next version
  // finds its labels' facts without looking them up again.
  std::uint32_t label = kNoLabelId;
  std::uint32_t bracketed = kNoLabelId;  // a lowercase jump's "[label]"; an answer running on: the other answer
  std::vector<std::uint32_t> answers;
};
using LineItems = std::vector<LineItem>;
using SharedItems = std::shared_ptr<const LineItems>;
inline constexpr std::uint32_t kNoItems = 0xFFFF'FFFF;

// Where a label leads: the first lines that begin with it.
struct LabelFacts {
  std::size_t first = 0;   // story line, 0 when no line break is followed by the label
  std::size_t second = 0;  // the next line that begins with it, 0 if none
  bool onlyFirstLine = false;
  // The first line is the unbroken last line: never shown, so reaching it stops the story.
  bool unbroken = false;
  // The first line only begins with the label, running on into a longer word ("gone"
  // for "go"), so a later line that holds the label itself is probably the one meant.
  bool firstRunsOn = false;
  bool secondRunsOn = false;
};

// Labels looked up by a view of them as well as by themselves.
struct LabelHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view label) const { return std::hash<std::u16string_view>{}(label); }
};

// What the checks learnt of one line, carried whole to the next version when the line is
// unchanged. Only `start` is of one version's numbering (an index in its text), and
// carrying sets it anew; every line it names is counted from its own line, so that it
// moves with it.
struct LineRecord {
  std::uint32_t start = 0;  // 0-based index in this version's text
  bool choices = false;     // leaves a choice pending
  bool fullWidth = false;   // holds a full-width form of a script marker
  bool tooWide = false;     // wider than the title bar of the memo's `width`
  bool tabbedLabel = false; // a tab stands before its '[label]'
  // Its items, by their list's index in the memo's itemLists; kNoItems when it has none.
  std::uint32_t lineItems = kNoItems;       // the line's own checks
  std::uint32_t answerItems = kNoItems;     // a choice line's answers that run on into another's line
  std::uint32_t fullWidthItems = kNoItems;  // markers written full-width
  // A choice line: the lines its answers' check read, this many before and after its
  // own; a change there checks them again.
  std::uint32_t answersBefore = 0;
  std::uint32_t answersAfter = 0;
};

// Why a version's line checks are read from nothing rather than carried from an earlier
// version's; one function (StartOfLineChecks in line_checks.cpp) decides.
enum class WholeCheck : std::uint8_t {
  NotKept,       // nothing is kept for a next version: a check from the command line
  LongStory,     // more lines than are kept (a million): a record each would cost too much
  NoEarlier,     // no earlier version's line checks: the first version, or none were kept
  OtherWidth,    // the earlier version's lines were judged by another title bar's width
  ManyFindings,  // the earlier version's findings outgrew what is kept (200,000 items)
  ManySpare,     // labels or item lists that no line names any more outnumber the rest
  ChangeUnknown, // no change since the earlier version is known: the text was made from nothing since
  LargeChange,   // the edit changed over a quarter of the lines (and over 1,000)
};

// The line checks of one version of a story, for the next version's. Immutable once
// made; it keeps the text it was made from alive.
struct LineCheckMemo {
  std::shared_ptr<const void> textOwner;
  std::u16string_view text;
  std::size_t width = 0;                // the title bar's width the lines were judged by: no other may reuse them
  std::size_t linesRead = 0;            // lines read anew for this version; the rest were carried over
  std::vector<LineRecord> lines;        // by story line - 1
  // The lines' item lists, shared with the versions before and after: a list no record
  // names any more stays until the story is checked whole again.
  std::vector<SharedItems> itemLists;
  std::size_t items = 0;                // in all lines' records
  std::size_t liveLists = 0;            // item lists that this version's records name
  bool overflowed = false;              // too many findings to carry: the next version starts from nothing
  std::optional<WholeCheck> whole;      // why this version was read from nothing, if it was
  // Every label the checks looked up, by id, and its facts (lines of this version,
  // moved or dropped as the next version's are carried): none when an edit may have
  // changed them, and they are to be found again.
  std::unordered_map<std::u16string, std::uint32_t, LabelHash, std::equal_to<>> labelIds;
  std::vector<std::u16string_view> labels;  // by id: the keys of labelIds
  std::vector<std::optional<LabelFacts>> facts;
  std::size_t longestLabel = 0;
  // The notes given to missing labels: a line that hides the label behind a tab or a
  // space (which names its line) or the spelling probably meant.
  struct Note {
    std::string text;
    bool namesLine = false;
    std::uint32_t hiddenLine = 0;  // the line that hides the label, of the note's version
    std::u16string meant;          // the label probably meant, when the note suggests one
  };
  std::unordered_map<std::u16string, std::optional<Note>, LabelHash, std::equal_to<>> notes;
  // For the missing labels looked for among the line beginnings, how many beginnings the
  // search walked (at most): a note is kept for the next version only while its search,
  // with the lines the edit adds, would still end within its bound.
  std::unordered_map<std::u16string, std::uint32_t, LabelHash, std::equal_to<>> suggestionWork;
  // The index of line beginnings that the last "did you mean" made or patched, and how
  // that version's lines became this one's: the next search patches a copy with the change.
  LabelSuggester::Carried suggestions;
  // The first line of each '[label]' that a tab or a space stands before (in this
  // version), once gathered.
  bool tabbedGathered = false;
  std::unordered_map<std::u16string, std::uint32_t, LabelHash, std::equal_to<>> tabbed;
};

}  // namespace quillshade::qsd
