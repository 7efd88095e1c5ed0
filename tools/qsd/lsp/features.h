// What the editor service offers on a story: each feature a plain function of one
// analysed document (and a position), answering in the editor's positions.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/qsd/lsp/story_document.h"

namespace quillshade::qsd::lsp {

// Thrown from a feature whose request the editor has cancelled.
struct RequestCancelled {};

// Asked by the features whose work grows with the story, once per line they visit: an
// editor that has moved on gets its answer at once rather than after the whole story.
class CancelCheck {
 public:
  CancelCheck() = default;
  explicit CancelCheck(std::function<bool()> cancelled) : cancelled_(std::move(cancelled)) {}
  // Throws RequestCancelled when cancelled; asks only at every 256th step, which is cheap.
  void Poll(std::size_t step) const {
    if (step % 256 == 0 && cancelled_ && cancelled_()) throw RequestCancelled{};
  }

 private:
  std::function<bool()> cancelled_;
};

// A label as a line names it: a plain jump's target, either label of a jump on a flag,
// or a choice label.
struct LabelUse {
  enum class Kind { Jump, IfSet, IfNotSet, Choice };
  Kind kind = Kind::Jump;
  std::size_t line = 0;   // the story line that names it
  LinePart part;          // the label as written there
  std::size_t key = 0;    // Choice: 0..4 for keys 1..5
  bool followed = true;   // false for a jump on a line that ends the story
};

// The labels line `line` names, in the order they stand.
std::vector<LabelUse> LabelUsesOf(const StoryDocument& story, std::size_t line);
std::vector<LabelUse> LabelUsesOf(const ScriptLine& script, std::size_t line);  // of its model, split once
// The label at a position (the cursor on it or right after it), if any.
std::optional<LabelUse> LabelUseAt(const StoryDocument& story, const StoryPlace& place);

// The line the reader goes to from the label at the position, with the label selected
// on it (a shorter label that an earlier line runs on from selects that line's start).
std::optional<Range> Definition(const StoryDocument& story, const Position& position);

// Every jump and choice that leads to the line at the position (or to the line that the
// label at the position leads to); with the declaration, that line's label too.
std::vector<Range> References(const StoryDocument& story, const Position& position, bool includeDeclaration);

// A line described: what the title bar shows and how wide it is against `width`
// columns, its flag commands and END, and where each way out of it leads; with the walk
// of this very version, the shortest keys that reach it and its width on each way in
// (none while that walk runs). In Markdown, or plain text for an editor that shows no other.
enum class Markup { Markdown, PlainText };
std::optional<std::string> Hover(const StoryDocument& story, const Position& position, std::size_t width,
                                 const WalkResult* walk = nullptr, Markup markup = Markup::Markdown);

// "reached by the keys dd1d, with A set", the keys cut after kMaxShownKeys with their
// count: a way through a long story may take thousands, which `qsd endings` lists.
inline constexpr std::size_t kMaxShownKeys = 60;
std::string WayInText(const WayIn& way);

// A lens above each way the story stops (an END, a jump or an answer whose label no
// line begins with, the end of the text, an endless loop), saying how it is reached.
struct Lens {
  Range range;
  std::string title;
  std::size_t playTo = 0;  // a line the reader reaches here, which "play to here" plays to; 0 for none
};

// The lenses of every ending the walk found, and of every END and dead end no state
// reaches; the first kMaxLenses of them.
inline constexpr std::size_t kMaxLenses = 5'000;
std::vector<Lens> Lenses(const StoryDocument& story, const WalkResult& walk, const CancelCheck& cancel = {});

// What an editor's play pane loads: the story as a story file's codes, and the shortest
// way in to a line of a text source (its keys and the flags that must arrive set) with
// that line; without a line, from the start. Or why not: the story does not load, the
// line is past the end, no state reaches it (and why). A line needs this version's walk.
struct PlayStart {
  std::string codes;
  WayIn way;
  std::size_t line = 0;  // the story line the way reaches; 0 from the start
};
std::variant<PlayStart, std::string> PlayFrom(const StoryDocument& story, const WalkResult* walk,
                                              std::optional<std::size_t> editorLine);

struct CompletionItem {
  enum class Kind { Label, Keyword };
  Kind kind = Kind::Label;
  std::string label;
  std::string detail;
  Range replace;         // the part already typed (and a closing "]" after it), which the item replaces
  std::string newText;   // the label or keyword, without what `replace` leaves before it
};

// What is being typed at an offset of a line (0-based, in the story's units): a label
// of a jump or a choice, or a command keyword, from `start` to the offset.
struct CompletionSpan {
  enum class Context { Label, Keyword };
  Context context = Context::Label;
  std::size_t start = 0;
};
std::optional<CompletionSpan> CompletionSpanAt(std::u16string_view line, std::size_t offset);

// Labels after ">>", in a jump on a flag's label list and in a choice list; the command
// keywords after "::".
// At most kMaxCompletionItems, those that begin with what is typed first.
inline constexpr std::size_t kMaxCompletionItems = 1000;
struct Completion {
  std::vector<CompletionItem> items;
  bool incomplete = false;  // more would have matched
};
Completion Complete(const StoryDocument& story, const Position& position, const CancelCheck& cancel = {});

struct Symbol {
  std::string name;
  std::string detail;
  Range range;      // the whole line
  Range selection;  // its label
};

// The labelled lines: those with a bracketed prefix and those a jump or choice leads to;
// the first kMaxSymbols of them, so that an outline of a huge story stays a few MB.
inline constexpr std::size_t kMaxSymbols = 20'000;
std::vector<Symbol> Symbols(const StoryDocument& story, const CancelCheck& cancel = {});

struct TextEdit {
  Range range;
  std::u16string newText;
};

// The label at the position that a rename would change: the name inside the brackets of
// a bracketed label, the whole label otherwise.
std::optional<Range> RenameRange(const StoryDocument& story, const Position& position);

// Renames the label at the position on its line and in every jump and choice that names
// it; or says why not (empty, a character that would split it, or a story that would
// then lead somewhere else: the new label shadowed by an earlier line, or shadowing one).
std::variant<std::vector<TextEdit>, std::string> Rename(const StoryDocument& story, const Position& position,
                                                        std::u16string_view newName);

struct QuickFix {
  std::string title;
  std::string check;          // the check whose diagnostic it fixes
  Range diagnostic;           // that diagnostic's range, as the editor sent it
  std::vector<TextEdit> edits;
};

struct DiagnosticRef {
  std::string check;
  Range range;
};

// Fixes for the diagnostics given, where a check has one obvious fix.
std::vector<QuickFix> QuickFixes(const StoryDocument& story, const std::vector<DiagnosticRef>& diagnostics);

enum class TokenType : std::uint8_t { Label, Text, Marker, Flag, Keyword, Unused };
inline constexpr std::string_view kTokenTypeNames[] = {"label", "string", "operator", "enumMember", "keyword",
                                                       "comment"};
inline constexpr std::string_view kTokenModifierNames[] = {"declaration"};

struct SemanticToken {
  std::size_t line = 0;       // editor line, 0-based
  std::size_t start = 0;      // editor character
  std::size_t length = 0;
  TokenType type = TokenType::Text;
  bool declaration = false;   // a bracketed prefix: the label of its own line
};

// The parts of every line, in order: prefix, shown text, jump and its flag, its labels,
// commands and their keywords, choices; those of the lines up to the one where
// kMaxSemanticTokens is reached, so that a huge story's colours stay some tens of MB
// (the lines after it are left uncoloured).
inline constexpr std::size_t kMaxSemanticTokens = 500'000;
std::vector<SemanticToken> SemanticTokens(const StoryDocument& story, const CancelCheck& cancel = {});
// Those of the lines [from, end) alone: a line's tokens depend on that line only.
std::vector<SemanticToken> SemanticTokensOfLines(const StoryDocument& story, std::size_t from, std::size_t end,
                                                 const CancelCheck& cancel = {});

}  // namespace quillshade::qsd::lsp
