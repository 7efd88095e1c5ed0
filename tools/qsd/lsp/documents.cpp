// Open documents and the edits the editor sends, counted in UTF-16 units.
#include "tools/qsd/lsp/documents.h"

#include <algorithm>
#include <limits>

#include "story/utf8.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd::lsp {

DocumentText::DocumentText(std::u16string text) : text_(std::make_shared<const std::u16string>(std::move(text))) {
  FindLines();
}

void DocumentText::FindLines() {
  const std::u16string& text = *text_;
  starts_.assign(1, 0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    if (text[i] == u'\r' || text[i] == u'\n') starts_.push_back(static_cast<std::uint32_t>(i + 1));
  }
}

std::size_t DocumentText::LineOf(std::size_t offset) const {
  return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) - 1;
}

std::size_t DocumentText::Offset(const Position& position) const {
  const std::u16string& text = *text_;
  if (position.line < 0) return 0;
  const auto line = static_cast<std::size_t>(position.line);
  if (line >= starts_.size()) return text.size();
  std::size_t end = line + 1 < starts_.size() ? starts_[line + 1] : text.size();
  while (end > starts_[line] && (text[end - 1] == u'\n' || text[end - 1] == u'\r')) --end;
  const auto character = static_cast<std::size_t>(std::max<std::int64_t>(position.character, 0));
  return std::min(std::size_t{starts_[line]} + character, end);
}

void DocumentText::Replace(const Range& range, std::u16string_view with) {
  Apply({TextChange{range, std::u16string(with)}}, std::numeric_limits<std::uint32_t>::max());
}

namespace {

// Appends units to a text, recording where each line after them starts, as FindLines
// counts them: a CR LF split between two appends is still one line break.
void AppendIndexed(std::u16string& text, std::vector<std::uint32_t>& starts, std::u16string_view units) {
  for (const char16_t c : units) {
    if (c == u'\n' && !text.empty() && text.back() == u'\r') {
      starts.back() = static_cast<std::uint32_t>(text.size() + 1);
    } else if (c == u'\r' || c == u'\n') {
      starts.push_back(static_cast<std::uint32_t>(text.size() + 1));
    }
    text.push_back(c);
  }
}

// A batch of changes under way: the text is `done` followed by `base` from `taken` on.
// Every change that begins at or after the end of `done` copies the base up to it and
// appends its text, so lines are counted once for the whole batch. Positions in the
// rest of the base are found from its line starts, shifted.
class ChangeBatch {
 public:
  ChangeBatch(std::shared_ptr<const std::u16string> base, std::vector<std::uint32_t> baseStarts)
      : shared_(std::move(base)), base_(*shared_), baseStarts_(std::move(baseStarts)) {}

  std::size_t Size() const { return done_.size() + base_.size() - taken_; }

  bool Apply(const TextChange& change, std::size_t maxUnits) {
    if (!change.range) {
      if (change.text.size() > maxUnits) return false;
      done_.clear();
      doneStarts_.assign(1, 0);
      AppendIndexed(done_, doneStarts_, change.text);
      taken_ = base_.size();
      return true;
    }
    std::optional<std::size_t> from = Offset(change.range->start);
    std::optional<std::size_t> to = Offset(change.range->end);
    if (!from || !to) {  // it goes back into what is done: settle it and go on from there
      Settle();
      from = Offset(change.range->start);
      to = Offset(change.range->end);
    }
    const std::size_t baseFrom = taken_ + (*from - done_.size());
    const std::size_t baseTo = std::max(baseFrom, taken_ + (*to - done_.size()));
    if (Size() - (baseTo - baseFrom) + change.text.size() > maxUnits) return false;
    AppendBase(baseFrom);
    AppendIndexed(done_, doneStarts_, change.text);
    taken_ = baseTo;
    return true;
  }

  void Finish(std::shared_ptr<const std::u16string>& text, std::vector<std::uint32_t>& starts) {
    Settle();
    text = std::move(shared_);
    starts = std::move(baseStarts_);
  }

 private:
  // The offset of a position in the text as it stands, or nothing when it lies in what
  // is done (or at a CR LF that the end of what is done splits).
  std::optional<std::size_t> Offset(const Position& position) const {
    const auto current = [this](std::size_t baseOffset) { return baseOffset - taken_ + done_.size(); };
    if (!done_.empty() && done_.back() == u'\r' && taken_ < base_.size() && base_[taken_] == u'\n') return std::nullopt;
    if (position.line < 0) return done_.empty() ? std::optional<std::size_t>(0) : std::nullopt;
    const std::size_t joined = doneStarts_.size() - 1;  // the line where `done` ends and the base goes on
    const auto line = static_cast<std::size_t>(position.line);
    if (line < joined) return std::nullopt;
    const std::size_t baseJoined =
        static_cast<std::size_t>(std::upper_bound(baseStarts_.begin(), baseStarts_.end(), taken_) - baseStarts_.begin()) - 1;
    if (line - joined >= baseStarts_.size() - baseJoined) return Size();  // past the last line: the end
    const std::size_t baseLine = baseJoined + (line - joined);
    const std::size_t start = line == joined ? doneStarts_.back() : current(baseStarts_[baseLine]);
    const std::size_t lineFrom = line == joined ? taken_ : baseStarts_[baseLine];
    std::size_t end = baseLine + 1 < baseStarts_.size() ? baseStarts_[baseLine + 1] : base_.size();
    while (end > lineFrom && (base_[end - 1] == u'\n' || base_[end - 1] == u'\r')) --end;
    const auto character = static_cast<std::size_t>(std::max<std::int64_t>(position.character, 0));
    const std::size_t offset = std::min(start + character, current(end));
    if (offset < done_.size()) return std::nullopt;
    return offset;
  }

  // Appends the base from `taken_` up to `to`, its line starts shifted rather than
  // found again, so that a batch costs little more than copying the text once.
  void AppendBase(std::size_t to) {
    std::size_t from = taken_;
    if (from < to && !done_.empty() && done_.back() == u'\r' && base_[from] == u'\n') {
      AppendIndexed(done_, doneStarts_, std::u16string_view(base_).substr(from, 1));  // one CR LF
      ++from;
    }
    for (auto start = std::upper_bound(baseStarts_.begin(), baseStarts_.end(), from);
         start != baseStarts_.end() && *start <= to; ++start)
      doneStarts_.push_back(static_cast<std::uint32_t>(*start - from + done_.size()));
    done_.append(base_, from, to - from);
    // A CR cut from its LF is a line break of its own until an LF comes after it.
    if (!done_.empty() && done_.back() == u'\r' && doneStarts_.back() != done_.size())
      doneStarts_.push_back(static_cast<std::uint32_t>(done_.size()));
    taken_ = to;
  }

  void Settle() {
    AppendBase(base_.size());
    shared_ = std::make_shared<const std::u16string>(std::move(done_));
    base_ = *shared_;
    baseStarts_ = std::move(doneStarts_);
    done_.clear();
    doneStarts_.assign(1, 0);
    taken_ = 0;
  }

  // The base is never changed but replaced whole: the document's text before the batch
  // may be held by a story of its version.
  std::shared_ptr<const std::u16string> shared_;
  std::u16string_view base_;  // *shared_
  std::vector<std::uint32_t> baseStarts_;
  std::u16string done_;
  std::vector<std::uint32_t> doneStarts_{0};
  std::size_t taken_ = 0;
};

}  // namespace

bool DocumentText::Apply(const std::vector<TextChange>& changes, std::size_t maxUnits) {
  ChangeBatch batch(text_, starts_);
  for (const TextChange& change : changes)
    if (!batch.Apply(change, maxUnits)) return false;
  batch.Finish(text_, starts_);
  return true;
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
  const std::size_t others = Units(uri);
  DocumentText text = document.text;
  if (!text.Apply(changes, std::min(kMaxDocumentUnits, kMaxOpenUnits - std::min(others, kMaxOpenUnits))))
    return "the document would grow past what the server holds: change ignored";
  document.text = std::move(text);
  document.version = version;
  return std::nullopt;
}

}  // namespace quillshade::qsd::lsp
