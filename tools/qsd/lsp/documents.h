// The documents the editor has open: their text as the editor holds it, and its version.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillshade::qsd::lsp {

// A place in a document as the protocol counts: 0-based line, 0-based UTF-16 unit.
struct Position {
  std::int64_t line = 0;
  std::int64_t character = 0;
};

struct Range {
  Position start;
  Position end;
};

// One edit as the editor sends it: a range of the text as the edits before it left it,
// and what replaces it; no range replaces the whole text.
struct TextChange {
  std::optional<Range> range;
  std::u16string text;
};

// The editor's text in UTF-16. Its lines end at LF, CR LF or a lone CR, as the
// protocol counts them (and as a text source's lines become story lines).
class DocumentText {
 public:
  explicit DocumentText(std::u16string text = {});

  const std::u16string& Text() const { return *text_; }
  // The text of this version, which no edit changes: an edit makes a new one, so a
  // story made of this version may keep it to compare the next version with.
  const std::shared_ptr<const std::u16string>& SharedText() const { return text_; }
  std::size_t LineCount() const { return starts_.size(); }
  // The 0-based line that holds the index (a line break belongs to the line it ends).
  std::size_t LineOf(std::size_t offset) const;
  // A position as an index into the text; a character past its line's end means the
  // line's end, and a line past the last means the end of the text.
  std::size_t Offset(const Position& position) const;
  void Replace(const Range& range, std::u16string_view with);
  // Applies the changes in order. Changes that go forward through the text, as an
  // editor's replace-all sends thousands of them, take one pass over the text together;
  // a change that goes back costs one pass more. False, and the text unchanged, when it
  // would grow past `maxUnits` on the way.
  bool Apply(const std::vector<TextChange>& changes, std::size_t maxUnits);

 private:
  void FindLines();

  std::shared_ptr<const std::u16string> text_;
  std::vector<std::uint32_t> starts_;  // a document holds at most 64 Mi units, and may have millions of lines
};

// Whether a document is a text source rather than a story file, by its URI or path and
// its text, as every command tells them apart (KindOfStory).
bool IsTextSourceUri(std::string_view uri, std::string_view bytes);
bool IsTextSourceUri(std::string_view uri, std::u16string_view text);

struct Document {
  std::string uri;
  std::int64_t version = 0;
  DocumentText text;
};

// Documents by URI. A document grows no larger than this many UTF-16 units, and all
// of them together no larger than the second.
inline constexpr std::size_t kMaxDocumentUnits = std::size_t{64} << 20;
inline constexpr std::size_t kMaxOpenUnits = std::size_t{256} << 20;

class DocumentStore {
 public:
  const Document* Find(std::string_view uri) const;
  std::vector<const Document*> All() const;
  // Answers why the document was not opened (too large), or nothing.
  std::optional<std::string> Open(Document document);
  void Close(std::string_view uri);

  using Change = TextChange;
  // Applies the changes of one version, in order. Answers why they were refused
  // (unknown document, a version not newer than the one held, too large), or nothing.
  std::optional<std::string> Apply(std::string_view uri, std::int64_t version, const std::vector<Change>& changes);

 private:
  std::size_t Units(std::string_view exceptUri) const;

  std::map<std::string, Document, std::less<>> documents_;
};

}  // namespace quillshade::qsd::lsp
