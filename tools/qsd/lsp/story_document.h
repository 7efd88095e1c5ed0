// One version of a document as the story it holds: the text as the reader would hold
// it, its lines and their models, its label lookups, and the way between story places
// and the editor's positions.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "story/label_index.h"
#include "story/script_line.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lsp/documents.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd::lsp {

// A place in the story: 1-based line, 0-based offset in UTF-16 units of that line.
struct StoryPlace {
  std::size_t line = 1;
  std::size_t offset = 0;
};

// A unit of the editor's text that the story lacks (the second of a surrogate pair, a
// byte-order mark): its story line, and its offset in the editor's line.
struct DroppedUnit {
  std::uint32_t line;
  std::uint32_t offset;
};

// Why a version's story is made from nothing rather than from the version before; one
// function (NextVersionOf) decides.
enum class FromNothing : std::uint8_t {
  NoEarlier,        // the first version, or the one before was of another document
  StoryFile,        // a story file holds codes: its lines are no lines of the editor's
  EarlierRefused,   // the version before does not load
  EarlierProblems,  // loading the version before found problems that do not move with their lines
  LargeChange,      // the change is over a quarter of the text: about as costly either way
  LaterMark,        // a byte-order mark at the start of a later line, which only the first drops
  Refused,          // the changed lines make the whole text refused, as its first problem says
  ManyProblems,     // loading now finds more problems than are named one by one
};

class StoryDocument : public std::enable_shared_from_this<StoryDocument> {
 public:
  StoryDocument(std::string uri, std::int64_t version, bool textSource);
  StoryDocument(const StoryDocument&) = delete;  // lines and labels point into text
  StoryDocument& operator=(const StoryDocument&) = delete;

  std::string uri;
  std::int64_t version = 0;
  // A text source: its lines are the story's lines. A story file holds codes, so its
  // problems are shown on its first line, and nothing else is offered on it.
  bool textSource = true;
  bool loadable = false;             // the reader can load it: the checks apply
  std::u16string text;               // exactly what the reader would hold
  std::vector<Diagnostic> loadDiagnostics;  // what loading it found
  std::size_t firstLineLength = 0;          // of the editor's text: a story file's problems stand there
  std::optional<FromNothing> fromNothing;   // why this version was not made from the one before, if it was not

  // The story lines changed since an earlier version of this document (`earlier` owns
  // it, as a line check's memo owns the version it checked): known for the last few
  // versions while each was made from the one before; otherwise nothing.
  std::optional<ChangedLines> ChangeSince(const std::shared_ptr<const void>& earlier) const;

  std::size_t LineCount() const { return lines_ ? lines_->Count() : 0; }
  std::u16string_view Line(std::size_t line) const { return lines_->Text(line); }  // 1-based, no CR LF
  // The line's model, made when asked for: kept for every line it would cost hundreds
  // of bytes a line, more than the text itself.
  ScriptLine Script(std::size_t line) const { return SplitScriptLine(Line(line)); }
  // Whether the line has a CR LF after it; an unbroken last line is never shown.
  bool Terminated(std::size_t line) const { return lines_->Terminated(line); }
  // The line that a jump to `label`, or a choice of it, reaches: the first line of the
  // text that begins with it and has a line break before it; 0 when there is none.
  std::size_t LabelLine(std::u16string_view label) const;
  // Where a jump to `label` sets ReadPos: the CR before that line, as FindLabelLine
  // answers; 0 when there is none.
  std::int32_t LabelBreak(std::u16string_view label) const { return labels_->Find(label).first; }

  // What every check needs of this version, made once: its lines and its label index.
  const StoryLines& Lines() const { return *lines_; }
  const LabelIndex& Labels() const { return *labels_; }

  // Editor positions and story places of a text source. A character of the editor's
  // text that the reader holds as one unit less (a surrogate pair, held as one "?";
  // a byte-order mark, dropped) shifts the places after it on its line.
  Position ToEditor(const StoryPlace& place) const;
  std::optional<StoryPlace> ToStory(const Position& position) const;
  Range EditorRange(std::size_t line, std::size_t offset, std::size_t length) const;
  // The range of a part of a line's model.
  Range PartRange(std::size_t line, const LinePart& part) const;

 private:
  friend std::shared_ptr<const StoryDocument> Analysed(std::shared_ptr<StoryDocument> story,
                                                        std::u16string_view editorText);
  friend std::shared_ptr<const StoryDocument> StoryDocumentOf(const std::string& uri, std::int64_t version,
                                                               const DocumentText& editorText, bool textSource,
                                                               const StoryDocument* previous);
  friend std::variant<FromNothing, std::shared_ptr<const StoryDocument>> NextVersionOf(
      const StoryDocument& previous, std::int64_t version, const DocumentText& editorText);
  std::span<const DroppedUnit> DroppedOn(std::size_t line) const;  // in the order of the line

  std::optional<StoryLines> lines_;
  std::optional<LabelIndex> labels_;
  std::vector<DroppedUnit> dropped_;  // in the order of the text
  // The editor's text this version was made of, shared with the document (a story file
  // keeps none): the next version's story is made from this one where they agree.
  std::shared_ptr<const std::u16string> editorText_;
  // The lines changed since each of the last few versions, newest first: each version's
  // change is its edit's combined with the one before's.
  struct EarlierChange {
    std::weak_ptr<const StoryDocument> version;
    ChangedLines change;
  };
  std::vector<EarlierChange> changes_;
};

// The story of an open document (a text source when its name ends in ".txt").
std::shared_ptr<const StoryDocument> StoryDocumentOf(const std::string& uri, std::int64_t version,
                                                     std::u16string_view editorText, bool textSource);
// The same for a version of a document whose story `previous` holds an earlier version:
// where only some lines of a text source changed, those lines alone are loaded again
// and the rest taken from `previous`, so that a keystroke costs little more than copying
// the text. The story is the same, in every answer, as one made from nothing.
std::shared_ptr<const StoryDocument> StoryDocumentOf(const std::string& uri, std::int64_t version,
                                                     const DocumentText& editorText, bool textSource,
                                                     const StoryDocument* previous);
// That story made from `previous`, or why it is to be made from nothing: every reason
// is decided here.
std::variant<FromNothing, std::shared_ptr<const StoryDocument>> NextVersionOf(const StoryDocument& previous,
                                                                             std::int64_t version,
                                                                             const DocumentText& editorText);

// A story text exactly as the reader holds it, for a story changed in memory.
std::shared_ptr<const StoryDocument> StoryDocumentOfText(std::u16string text);

// The story of a file's bytes, for a story of the workspace that is not open.
std::shared_ptr<const StoryDocument> StoryDocumentOfBytes(const std::string& uri, std::string_view bytes,
                                                          bool textSource);

}  // namespace quillshade::qsd::lsp
