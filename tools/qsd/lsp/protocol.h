// The protocol's shapes: features' results as JSON, URIs as paths, the server's capabilities.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/qsd/lib/check.h"
#include "tools/qsd/lsp/documents.h"
#include "tools/qsd/lsp/features.h"
#include "tools/qsd/lsp/json_rpc.h"
#include "tools/qsd/lsp/params.h"
#include "tools/qsd/lsp/story_document.h"

namespace quillshade::qsd::lsp {

// A request the server understood but will not carry out; its message says why.
struct RefusedRequest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The local path of a "file:" URI, percent-escapes decoded; nothing for other URIs.
std::optional<std::string> PathOfUri(std::string_view uri);
std::string UriOfPath(std::string_view path);

struct ServerSettings {
  bool pullDiagnostics = false;  // the editor asks for diagnostics rather than being sent them
  bool refreshDiagnostics = false;  // and may be asked to ask again
  bool prepareRename = false;
  std::size_t width = kDefaultWidth;  // title bar columns, for the checks and hover
  Markup hover = Markup::Markdown;     // the first the editor names among those it shows
  // The editor's command that plays the story to a line, taking the document's URI and
  // the line: with one, the lenses of endings the reader reaches gain "play to here".
  std::string playCommand;
};

Json InitializeResult(const ServerSettings& settings);

// An editor is sent at most this many diagnostics of a document, and a note of the rest.
inline constexpr std::size_t kMaxPublishedDiagnostics = 1000;

Json DiagnosticsJson(const StoryDocument& story, const std::vector<Diagnostic>& diagnostics);
Json DefinitionJson(const StoryDocument& story, const Position& position);
Json ReferencesJson(const StoryDocument& story, const Position& position, bool includeDeclaration);
Json HoverJson(const StoryDocument& story, const Position& position, std::size_t width, const WalkResult* walk = nullptr,
               Markup markup = Markup::Markdown);
// Title-only lenses, whose command is empty; beside each that the reader reaches, with a
// `playCommand`, a "play to here" that runs it on the document's URI and the lens's line.
Json LensesJson(const StoryDocument& story, const WalkResult& walk, const std::string& playCommand,
                const CancelCheck& cancel = {});
// Throws RefusedRequest with the reason when the story cannot be played (from the line).
Json PlayJson(const StoryDocument& story, const WalkResult* walk, std::optional<std::size_t> editorLine);
Json CompletionJson(const StoryDocument& story, const Position& position, const CancelCheck& cancel = {});
// The outline as JSON text: at the size an editor asks for it after every change, a value
// of nlohmann's would cost ten times the finding and writing of it.
std::string SymbolsJsonText(const StoryDocument& story, const CancelCheck& cancel = {});
Json PrepareRenameJson(const StoryDocument& story, const Position& position);
// Throws RefusedRequest with the reason when the label cannot be renamed so.
Json RenameJson(const StoryDocument& story, const Position& position, std::u16string_view newName);
// Fixes for the diagnostics the editor sent, each given back with its fix.
Json CodeActionsJson(const StoryDocument& story, const std::vector<CodeActionDiagnostic>& diagnostics);
// The semantic tokens as the protocol lists them: five numbers a token, its place
// relative to the token before.
std::vector<std::uint32_t> SemanticTokenData(const StoryDocument& story, const CancelCheck& cancel = {});
// The same made from `earlierData`, the tokens of an earlier version of the document, with
// only the lines changed since read again; from nothing when the story does not know
// that change or the tokens reach their cap. Either way equal to the tokens made from nothing.
std::vector<std::uint32_t> SemanticTokenData(const StoryDocument& story, const std::shared_ptr<const StoryDocument>& earlier,
                                             const std::vector<std::uint32_t>& earlierData, const CancelCheck& cancel = {});
// The edits that turn the tokens sent before into `current`: at most one, over what lies
// between the parts they share at their start and at their end, in whole tokens.
Json SemanticTokenEditsJson(const std::vector<std::uint32_t>& previous, const std::vector<std::uint32_t>& current);

}  // namespace quillshade::qsd::lsp
