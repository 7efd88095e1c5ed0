// Features' results in the protocol's JSON shapes.
#include "tools/qsd/lsp/protocol.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "story/utf8.h"
#include "tools/qsd/lsp/features.h"

namespace quillshade::qsd::lsp {
namespace {

constexpr int kErrorSeverity = 1;
constexpr int kWarningSeverity = 2;
constexpr int kSymbolKindKey = 20;
constexpr int kCompletionKindKeyword = 14;
constexpr int kCompletionKindReference = 18;

// JSON text written directly, for answers too large to build as values. The text is
// UTF-8 already; only quotes, backslashes and control characters are escaped.
void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void AppendPositionJson(std::string& out, const Position& position) {
  out += "{\"line\":" + std::to_string(position.line) + ",\"character\":" + std::to_string(position.character) + '}';
}

void AppendRangeJson(std::string& out, const Range& range) {
  out += "{\"start\":";
  AppendPositionJson(out, range.start);
  out += ",\"end\":";
  AppendPositionJson(out, range.end);
  out += '}';
}

Json PositionJson(const Position& position) { return {{"line", position.line}, {"character", position.character}}; }
Json RangeJson(const Range& range) { return {{"start", PositionJson(range.start)}, {"end", PositionJson(range.end)}}; }
Json LocationJson(const std::string& uri, const Range& range) { return {{"uri", uri}, {"range", RangeJson(range)}}; }

Json EditsJson(const std::vector<TextEdit>& edits) {
  Json out = Json::array();
  for (const TextEdit& edit : edits) out.push_back({{"range", RangeJson(edit.range)}, {"newText", ToUtf8(edit.newText)}});
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> PathOfUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.substr(0, kScheme.size()) != kScheme) return std::nullopt;
  uri.remove_prefix(kScheme.size());
  if (uri.substr(0, 9) == "localhost") uri.remove_prefix(9);
  if (uri.empty() || uri.front() != '/') return std::nullopt;
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && HexValue(uri[i + 1]) >= 0 && HexValue(uri[i + 2]) >= 0) {
      path += static_cast<char>(HexValue(uri[i + 1]) * 16 + HexValue(uri[i + 2]));
      i += 2;
    } else if (uri[i] == '?' || uri[i] == '#') {
      break;
    } else {
      path += uri[i];
    }
  }
  if (path.find('\0') != std::string::npos) return std::nullopt;
#ifdef _WIN32
  // "file:///C:/story.txt" names C:/story.txt.
  if (path.size() >= 3 && path[0] == '/' && std::isalpha(static_cast<unsigned char>(path[1])) && path[2] == ':')
    path.erase(0, 1);
#endif
  return path;
}

std::string UriOfPath(std::string_view path) {
  std::string uri = "file://";
  // A Windows path (C:\story.txt) becomes file:///C:/story.txt.
  if (path.size() >= 2 && path[1] == ':') uri += '/';
  for (char c : path) {
    if (c == '\\') c = '/';
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || std::string_view("/-._~:").find(c) != std::string_view::npos) {
      uri += c;
    } else {
      char buffer[4];
      std::snprintf(buffer, sizeof buffer, "%%%02X", byte);
      uri += buffer;
    }
  }
  return uri;
}

Json InitializeResult(const ServerSettings& settings) {
  Json types = Json::array();
  for (const std::string_view name : kTokenTypeNames) types.push_back(name);
  Json modifiers = Json::array();
  for (const std::string_view name : kTokenModifierNames) modifiers.push_back(name);
  Json capabilities{
      {"positionEncoding", "utf-16"},
      {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
      {"definitionProvider", true},
      {"referencesProvider", true},
      {"hoverProvider", true},
      {"completionProvider", {{"triggerCharacters", {">", ":", "?", ",", "["}}}},
      {"documentSymbolProvider", true},
      {"codeLensProvider", {{"resolveProvider", false}}},
      {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
      {"semanticTokensProvider", {{"legend", {{"tokenTypes", types}, {"tokenModifiers", modifiers}}}, {"full", {{"delta", true}}}}},
  };
  capabilities["renameProvider"] = settings.prepareRename ? Json{{"prepareProvider", true}} : Json(true);
  if (settings.pullDiagnostics)
    capabilities["diagnosticProvider"] = {{"interFileDependencies", true}, {"workspaceDiagnostics", false}};
  return {{"capabilities", capabilities}, {"serverInfo", {{"name", "qsd"}, {"version", QUILLSHADE_VERSION}}}};
}

namespace {

// Where a finding stands in the editor, and what it says there: a story file's columns
// are codes, not text, so its findings stand on its first line and name their place.
std::pair<Range, std::string> EditorPlace(const StoryDocument& story, const Diagnostic& diagnostic) {
  const auto line = static_cast<std::size_t>(std::max<std::int64_t>(diagnostic.line, 1));
  const auto offset = static_cast<std::size_t>(std::max<std::int64_t>(diagnostic.column, 1) - 1);
  if (!story.textSource)
    return {Range{{0, 0}, {0, static_cast<std::int64_t>(story.firstLineLength)}},
            "story line " + std::to_string(line) + ", column " + std::to_string(offset + 1) + ": " + diagnostic.message};
  // A character the page cannot hold is one "?" in the story, whatever its length.
  const auto length = diagnostic.check == "unencodable" ? 1 : static_cast<std::size_t>(diagnostic.length);
  Range range = story.EditorRange(line, offset, length);
  // A run of lines is underlined to the end of its last line.
  if (diagnostic.lastLine > diagnostic.line && static_cast<std::size_t>(diagnostic.lastLine) <= story.LineCount()) {
    const auto last = static_cast<std::size_t>(diagnostic.lastLine);
    range.end = story.EditorRange(last, story.Line(last).size(), 0).end;
  }
  return {range, diagnostic.message};
}

}  // namespace

Json DiagnosticsJson(const StoryDocument& story, const std::vector<Diagnostic>& diagnostics) {
  Json out = Json::array();
  for (const Diagnostic& diagnostic : diagnostics) {
    if (out.size() == kMaxPublishedDiagnostics) {
      out.push_back({{"range", RangeJson({{0, 0}, {0, 0}})},
                     {"severity", kWarningSeverity},
                     {"source", "qsd"},
                     {"message", std::to_string(diagnostics.size() - kMaxPublishedDiagnostics) +
                                     " more problems are not shown: qsd check lists them all"}});
      break;
    }
    auto [range, message] = EditorPlace(story, diagnostic);
    if (!diagnostic.note.empty()) message += "\n" + diagnostic.note;
    Json item = {{"range", RangeJson(range)},
                 {"severity", diagnostic.severity == Severity::Error ? kErrorSeverity : kWarningSeverity},
                 {"code", std::string(diagnostic.check)},
                 {"source", "qsd"},
                 {"message", message}};
    // The findings that follow from this one go with it, each at its own place, rather
    // than as problems of their own: the first one is the one to fix. A client that shows
    // no related information shows only this one, which is still where to begin.
    if (!diagnostic.folded.empty()) {
      Json related = Json::array();
      for (const Diagnostic& folded : diagnostic.folded) {
        const auto [foldedRange, foldedMessage] = EditorPlace(story, folded);
        related.push_back({{"location", LocationJson(story.uri, foldedRange)},
                           {"message", foldedMessage + " [" + std::string(folded.check) + "]"}});
      }
      item["relatedInformation"] = std::move(related);
    }
    out.push_back(std::move(item));
  }
  return out;
}

Json DefinitionJson(const StoryDocument& story, const Position& position) {
  const auto range = Definition(story, position);
  return range ? LocationJson(story.uri, *range) : Json();
}

Json ReferencesJson(const StoryDocument& story, const Position& position, bool includeDeclaration) {
  Json out = Json::array();
  for (const Range& range : References(story, position, includeDeclaration)) out.push_back(LocationJson(story.uri, range));
  return out;
}

Json HoverJson(const StoryDocument& story, const Position& position, std::size_t width, const WalkResult* walk,
               Markup markup) {
  const auto text = Hover(story, position, width, walk, markup);
  if (!text) return nullptr;
  return {{"contents", {{"kind", markup == Markup::Markdown ? "markdown" : "plaintext"}, {"value", *text}}}};
}

Json LensesJson(const StoryDocument& story, const WalkResult& walk, const std::string& playCommand,
                const CancelCheck& cancel) {
  Json out = Json::array();
  for (const Lens& lens : Lenses(story, walk, cancel)) {
    out.push_back({{"range", RangeJson(lens.range)}, {"command", {{"title", lens.title}, {"command", ""}}}});
    if (lens.playTo != 0 && !playCommand.empty())
      out.push_back({{"range", RangeJson(lens.range)},
                     {"command", {{"title", "play to here"},
                                  {"command", playCommand},
                                  {"arguments", {story.uri, story.ToEditor({lens.playTo, 0}).line}}}}});
  }
  return out;
}

Json PlayJson(const StoryDocument& story, const WalkResult* walk, std::optional<std::size_t> editorLine) {
  auto result = PlayFrom(story, walk, editorLine);
  if (const auto* refusal = std::get_if<std::string>(&result)) throw RefusedRequest("cannot play: " + *refusal);
  const PlayStart& start = std::get<PlayStart>(result);
  Json out{{"version", story.version}, {"codes", start.codes}, {"keys", start.way.keys},
           {"arriving", FlagLetters(start.way.arriving)}};
  if (start.line != 0) out["line"] = start.line - 1;
  return out;
}

Json CompletionJson(const StoryDocument& story, const Position& position, const CancelCheck& cancel) {
  const Completion completion = Complete(story, position, cancel);
  Json items = Json::array();
  for (const CompletionItem& item : completion.items) {
    // Every item names what it is filtered by and what it inserts: editors that take
    // the word at the cursor rather than the edit's range (and one that takes the
    // range's start from the items without a filterText) then all agree with the edit.
    items.push_back({{"label", item.label},
                     {"kind", item.kind == CompletionItem::Kind::Keyword ? kCompletionKindKeyword : kCompletionKindReference},
                     {"detail", item.detail},
                     {"filterText", item.newText},
                     {"insertText", item.newText},
                     {"textEdit", {{"range", RangeJson(item.replace)}, {"newText", item.newText}}}});
  }
  return {{"isIncomplete", completion.incomplete}, {"items", items}};
}

std::string SymbolsJsonText(const StoryDocument& story, const CancelCheck& cancel) {
  std::string out = "[";
  for (const Symbol& symbol : Symbols(story, cancel)) {
    if (out.size() > 1) out += ',';
    out += "{\"name\":";
    AppendJsonString(out, symbol.name);
    out += ",\"detail\":";
    AppendJsonString(out, symbol.detail);
    out += ",\"kind\":" + std::to_string(kSymbolKindKey) + ",\"range\":";
    AppendRangeJson(out, symbol.range);
    out += ",\"selectionRange\":";
    AppendRangeJson(out, symbol.selection);
    out += '}';
  }
  return out + ']';
}

Json PrepareRenameJson(const StoryDocument& story, const Position& position) {
  const auto range = RenameRange(story, position);
  return range ? RangeJson(*range) : Json();
}

Json RenameJson(const StoryDocument& story, const Position& position, std::u16string_view newName) {
  auto result = Rename(story, position, newName);
  if (const auto* refusal = std::get_if<std::string>(&result)) throw RefusedRequest("cannot rename: " + *refusal);
  return {{"changes", {{story.uri, EditsJson(std::get<std::vector<TextEdit>>(result))}}}};
}

Json CodeActionsJson(const StoryDocument& story, const std::vector<CodeActionDiagnostic>& diagnostics) {
  Json out = Json::array();
  for (const CodeActionDiagnostic& diagnostic : diagnostics) {
    for (const QuickFix& fix : QuickFixes(story, {diagnostic.ref}))
      out.push_back({{"title", fix.title},
                     {"kind", "quickfix"},
                     {"diagnostics", {diagnostic.sent}},
                     {"isPreferred", true},
                     {"edit", {{"changes", {{story.uri, EditsJson(fix.edits)}}}}}});
  }
  return out;
}

// Appends tokens, each placed relative to the one before, the first to (line, start);
// leaves (line, start) at the last.
void AppendTokenData(const std::vector<SemanticToken>& tokens, std::size_t& line, std::size_t& start,
                     std::vector<std::uint32_t>& data) {
  for (const SemanticToken& token : tokens) {
    const std::size_t deltaLine = token.line - line;
    const std::size_t deltaStart = deltaLine == 0 ? token.start - start : token.start;
    for (const std::size_t value : {deltaLine, deltaStart, token.length, static_cast<std::size_t>(token.type),
                                    static_cast<std::size_t>(token.declaration ? 1 : 0)})
      data.push_back(static_cast<std::uint32_t>(value));
    line = token.line;
    start = token.start;
  }
}

std::vector<std::uint32_t> SemanticTokenData(const StoryDocument& story, const CancelCheck& cancel) {
  std::vector<std::uint32_t> data;
  std::size_t line = 0;
  std::size_t start = 0;
  AppendTokenData(SemanticTokens(story, cancel), line, start, data);
  return data;
}

std::vector<std::uint32_t> SemanticTokenData(const StoryDocument& story, const std::shared_ptr<const StoryDocument>& earlier,
                                             const std::vector<std::uint32_t>& earlierData, const CancelCheck& cancel) {
  constexpr std::size_t kTokenSize = 5;
  std::optional<ChangedLines> change;
  if (earlier && earlier->textSource && story.textSource && earlier->loadable && story.textSource && story.loadable &&
      earlierData.size() % kTokenSize == 0 && earlierData.size() / kTokenSize < kMaxSemanticTokens)
    change = story.ChangeSince(earlier);
  if (!change || change->from == 0) return SemanticTokenData(story, cancel);
  // Editor lines are story lines less one. The earlier tokens are walked with the place of
  // the one before each: those before the change are kept as they are, the changed lines'
  // are made again, and those after move by the lines the change added or took away.
  const std::size_t changedFrom = change->from - 1;
  const std::size_t changedEnd = change->oldEnd - 1;
  std::size_t at = 0;
  std::size_t earlierLine = 0;
  std::size_t earlierStart = 0;
  const auto lineAt = [&] { return earlierLine + earlierData[at]; };
  const auto step = [&] {
    earlierStart = earlierData[at] == 0 ? earlierStart + earlierData[at + 1] : earlierData[at + 1];
    earlierLine += earlierData[at];
    at += kTokenSize;
  };
  while (at < earlierData.size() && lineAt() < changedFrom) step();
  std::vector<std::uint32_t> data(earlierData.begin(), earlierData.begin() + static_cast<std::ptrdiff_t>(at));
  std::size_t line = earlierLine;
  std::size_t start = earlierStart;
  AppendTokenData(SemanticTokensOfLines(story, change->from, change->newEnd, cancel), line, start, data);
  while (at < earlierData.size() && lineAt() < changedEnd) step();
  if (at < earlierData.size()) {
    // The first token after the change begins its line, so its start stands as it was.
    const auto moved = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(lineAt()) + change->Shift());
    data.push_back(static_cast<std::uint32_t>(moved - line));
    data.insert(data.end(), earlierData.begin() + static_cast<std::ptrdiff_t>(at) + 1, earlierData.end());
  }
  if (data.size() / kTokenSize >= kMaxSemanticTokens) return SemanticTokenData(story, cancel);
  return data;
}

Json SemanticTokenEditsJson(const std::vector<std::uint32_t>& previous, const std::vector<std::uint32_t>& current) {
  constexpr std::size_t kTokenSize = 5;
  // Both lists hold whole tokens; the shared parts are cut to whole tokens too, so that an
  // editor that reads an edit token by token never sees a token split.
  const std::size_t shorter = std::min(previous.size(), current.size());
  std::size_t head = 0;
  while (head < shorter && previous[head] == current[head]) ++head;
  head -= head % kTokenSize;
  std::size_t tail = 0;
  while (tail < shorter - head && previous[previous.size() - 1 - tail] == current[current.size() - 1 - tail]) ++tail;
  tail -= tail % kTokenSize;
  Json edits = Json::array();
  if (head + tail < previous.size() || head + tail < current.size())
    edits.push_back({{"start", head},
                     {"deleteCount", previous.size() - head - tail},
                     {"data", std::vector<std::uint32_t>(current.begin() + static_cast<std::ptrdiff_t>(head),
                                                         current.end() - static_cast<std::ptrdiff_t>(tail))}});
  return {{"edits", std::move(edits)}};
}

}  // namespace quillshade::qsd::lsp
