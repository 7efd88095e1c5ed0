// Open documents and the edits the editor sends, counted in UTF-16 units.
#include "tools/qsd/lsp/documents.h"

#include <algorithm>

#include "story/utf8.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd::lsp {

DocumentText::DocumentText(std::u16string text) : text_(std::move(text)) { FindLines(); }

void DocumentText::FindLines() {
  starts_.assign(1, 0);
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == u'\r' && i + 1 < text_.size() && text_[i + 1] == u'\n') ++i;
    if (text_[i] == u'\r' || text_[i] == u'\n') starts_.push_back(static_cast<std::uint32_t>(i + 1));
  }
}

std::size_t DocumentText::Offset(const Position& position) const {
  if (position.line < 0) return 0;
  const auto line = static_cast<std::size_t>(position.line);
  if (line >= starts_.size()) return text_.size();
  std::size_t end = line + 1 < starts_.size() ? starts_[line + 1] : text_.size();
  while (end > starts_[line] && (text_[end - 1] == u'\n' || text_[end - 1] == u'\r')) --end;
  const auto character = static_cast<std::size_t>(std::max<std::int64_t>(position.character, 0));
  return std::min(std::size_t{starts_[line]} + character, end);
}

void DocumentText::Replace(const Range& range, std::u16string_view with) {
  const std::size_t from = Offset(range.start);
  const std::size_t to = std::max(from, Offset(range.end));
  text_.replace(from, to - from, with);
  FindLines();
}

bool IsTextSourceUri(std::string_view uri, std::string_view bytes) {
  return KindOfStory(uri, bytes) == StoryKind::TextSource;
}

bool IsTextSourceUri(std::string_view uri, std::u16string_view text) {
  return IsTextSourceUri(uri, ToUtf8(text.substr(0, std::min(text.size(), kStoryFileJudgedBytes))));
}

const Document* DocumentStore::Find(std::string_view uri) const {
  const auto found = documents_.find(uri);
  return found == documents_.end() ? nullptr : &found->second;
}

std::vector<const Document*> DocumentStore::All() const {
  std::vector<const Document*> all;
  for (const auto& [uri, document] : documents_) all.push_back(&document);
  return all;
}

std::size_t DocumentStore::Units(std::string_view exceptUri) const {
  std::size_t units = 0;
  for (const auto& [uri, document] : documents_)
    if (uri != exceptUri) units += document.text.Text().size();
  return units;
}

std::optional<std::string> DocumentStore::Open(Document document) {
  const std::size_t size = document.text.Text().size();
  if (size > kMaxDocumentUnits) return "larger than 64 Mi characters: not opened";
  if (Units(document.uri) + size > kMaxOpenUnits) return "the open documents would hold more than 256 Mi characters: not opened";
  const std::string uri = document.uri;
  documents_.insert_or_assign(uri, std::move(document));
  return std::nullopt;
}

void DocumentStore::Close(std::string_view uri) {
  if (const auto found = documents_.find(uri); found != documents_.end()) documents_.erase(found);
}

std::optional<std::string> DocumentStore::Apply(std::string_view uri, std::int64_t version,
                                                const std::vector<Change>& changes) {
  const auto found = documents_.find(uri);
  if (found == documents_.end()) return "a change to a document that is not open";
  Document& document = found->second;
  if (version <= document.version)
    return "a change to version " + std::to_string(version) + " arrived after version " +
           std::to_string(document.version) + ": ignored";
  DocumentText text = document.text;
  for (const Change& change : changes) {
    if (!change.range) {
      text = DocumentText(change.text);
    } else {
      text.Replace(*change.range, change.text);
    }
    if (text.Text().size() > kMaxDocumentUnits || Units(uri) + text.Text().size() > kMaxOpenUnits)
      return "the document would grow past what the server holds: change ignored";
  }
  document.text = std::move(text);
  document.version = version;
  return std::nullopt;
}

}  // namespace quillshade::qsd::lsp
