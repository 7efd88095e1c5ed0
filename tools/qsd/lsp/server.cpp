// Lifecycle, document sync and dispatch of the editor service's methods.
#include "tools/qsd/lsp/server.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "story/utf8.h"
#include "tools/qsd/lib/platform.h"
#include "tools/qsd/lsp/params.h"
#include "tools/qsd/lsp/protocol.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd::lsp {
namespace {

// A workspace folder may hold many files; past these the rest are not read.
constexpr std::size_t kMaxWorkspaceStories = 200;
constexpr int kMaxWorkspaceDepth = 4;

// A story of the workspace: a story file or a text source, by the name's end.
bool IsStoryFileName(std::string_view name) { return IsStoryName(name); }

// The title bar's width among an editor's settings, as `qsd check --width`; nothing when
// they name none that can be.
std::optional<std::size_t> WidthSetting(const Json& settings) {
  if (!settings.is_object() || !settings.contains("width") || !settings["width"].is_number_unsigned()) return std::nullopt;
  const auto width = settings["width"].get<std::uint64_t>();
  if (width == 0 || width >= 100000) return std::nullopt;
  return static_cast<std::size_t>(width);
}

// The markup an editor shows, from a capability's list in the order it prefers them
// (`contentFormat`): Markdown when it names none, plain text when it names neither.
Markup PreferredMarkup(const Json& capability) {
  if (!capability.is_object() || !capability.contains("contentFormat") || !capability["contentFormat"].is_array())
    return Markup::Markdown;
  for (const Json& format : capability["contentFormat"]) {
    if (format == "markdown") return Markup::Markdown;
    if (format == "plaintext") return Markup::PlainText;
  }
  return Markup::PlainText;
}

}  // namespace

const std::map<std::string_view, Server::RequestHandler>& Server::Requests() {
  static const std::map<std::string_view, RequestHandler> requests{
      {"initialize", &Server::Initialize},
      {"shutdown", &Server::Shutdown},
      {"textDocument/diagnostic", &Server::PullDiagnostics},
      {"textDocument/definition", &Server::GoToDefinition},
      {"textDocument/references", &Server::FindReferences},
      {"textDocument/hover", &Server::DescribeLine},
      {"textDocument/completion", &Server::CompleteAt},
      {"textDocument/documentSymbol", &Server::Outline},
      {"textDocument/prepareRename", &Server::PrepareRenaming},
      {"textDocument/rename", &Server::RenameLabel},
      {"textDocument/codeAction", &Server::FixDiagnostics},
      {"textDocument/semanticTokens/full", &Server::ColourTokens},
      {"textDocument/semanticTokens/full/delta", &Server::ColourTokenEdits},
      {"textDocument/codeLens", &Server::LensesOf},
      {"quillshade/play", &Server::Play},
  };
  return requests;
}

const std::map<std::string_view, Server::NotificationHandler>& Server::Notifications() {
  static const std::map<std::string_view, NotificationHandler> notifications{
      {"initialized", &Server::Initialized},
      {"textDocument/didOpen", &Server::DidOpen},
      {"textDocument/didChange", &Server::DidChange},
      {"textDocument/didClose", &Server::DidClose},
      {"textDocument/didSave", &Server::DidSave},
      {"workspace/didChangeWatchedFiles", &Server::DidChangeWatchedFiles},
      {"workspace/didChangeConfiguration", &Server::DidChangeConfiguration},
      {"$/cancelRequest", &Server::CancelRequest},
  };
  return notifications;
}

void Server::Send(const Json& message) {
  if (ports_.send) ports_.send(message);
}

void Server::SendText(std::string_view message) {
  if (ports_.sendText) ports_.sendText(message);
  else Send(Json::parse(message));
}

void Server::Log(std::string_view line) {
  if (ports_.log) ports_.log(line);
}

void Server::Handle(const Incoming& incoming) {
  switch (incoming.kind) {
    case Incoming::Kind::Message:
      HandleMessage(incoming.message);
      break;
    case Incoming::Kind::NotJson:
      Log(incoming.problem);
      Send(ErrorResponse(nullptr, ErrorCode::ParseError, incoming.problem));
      break;
    case Incoming::Kind::Malformed:
      Log(incoming.problem);
      break;
    case Incoming::Kind::End:
      if (!exited_) Log("the input ended without an exit notification");
      exited_ = true;
      break;
  }
}

void Server::HandleMessage(const Json& message) {
  if (!message.is_object() || message.value("jsonrpc", Json()) != "2.0") {
    Send(ErrorResponse(message.is_object() && message.contains("id") ? message["id"] : Json(),
                       ErrorCode::InvalidRequest, "not a JSON-RPC 2.0 message"));
    return;
  }
  const bool hasId = message.contains("id");
  if (!message.contains("method")) {
    if (!hasId) Send(ErrorResponse(nullptr, ErrorCode::InvalidRequest, "a message without a method"));
    return;  // a response to a request of ours: nothing waits for it
  }
  const Json& id = hasId ? message["id"] : Json();
  if (hasId && !id.is_string() && !id.is_number_integer()) {
    Send(ErrorResponse(nullptr, ErrorCode::InvalidRequest, "an id that is neither a number nor a string"));
    return;
  }
  if (!message["method"].is_string()) {
    if (hasId) Send(ErrorResponse(id, ErrorCode::InvalidRequest, "a method that is not a string"));
    else Log("a notification whose method is not a string");
    return;
  }
  const std::string method = message["method"].get<std::string>();
  // `exit` ends the server whatever comes with it, even sent as a request: a client
  // waiting for the process to end must never wait in vain.
  if (method == "exit") {
    exited_ = true;
    return;
  }
  // An absent params and a null one mean the same: nothing.
  const Json params = message.contains("params") ? message["params"] : Json();
  if (!params.is_null() && !params.is_object() && !params.is_array()) {
    if (hasId) Send(ErrorResponse(id, ErrorCode::InvalidParams, "params must be an object, an array or null"));
    else Log(method + ": params must be an object, an array or null");
    return;
  }
  if (hasId) {
    HandleRequest(id, method, params);
  } else {
    HandleNotification(method, params);
  }
}

void Server::HandleRequest(const Json& id, const std::string& method, const Json& params) {
  const auto found = Requests().find(method);
  if (found == Requests().end()) {
    Send(ErrorResponse(id, ErrorCode::MethodNotFound, "no method " + method));
    return;
  }
  if (phase_ == Phase::Starting && method != "initialize") {
    Send(ErrorResponse(id, ErrorCode::ServerNotInitialized, "the server has not been initialized"));
    return;
  }
  if (phase_ != Phase::Starting && method == "initialize") {
    Send(ErrorResponse(id, ErrorCode::InvalidRequest, "initialize was already received"));
    return;
  }
  if (phase_ == Phase::ShutDown) {
    Send(ErrorResponse(id, ErrorCode::InvalidRequest, "the server is shutting down"));
    return;
  }
  running_ = CancelCheck([this, id] { return ports_.cancelled && ports_.cancelled(id); });
  try {
    running_.Poll(0);  // cancelled before it began: no need to begin
    if (std::optional<Json> result = (this->*found->second)(id, params)) Send(Response(id, std::move(*result)));
  } catch (const RequestCancelled&) {
    Send(ErrorResponse(id, ErrorCode::RequestCancelled, "cancelled"));
  } catch (const RefusedRequest& refused) {
    Send(ErrorResponse(id, ErrorCode::RequestFailed, refused.what()));
  } catch (const BadParams& bad) {
    Send(ErrorResponse(id, ErrorCode::InvalidParams, method + ": " + bad.what()));
  } catch (const std::exception& error) {
    Log(method + " failed: " + error.what());
    Send(ErrorResponse(id, ErrorCode::InternalError, method + " failed: " + error.what()));
  }
  running_ = CancelCheck();
}

void Server::HandleNotification(const std::string& method, const Json& params) {
  const auto found = Notifications().find(method);
  if (found == Notifications().end()) {
    if (method.rfind("$/", 0) != 0) Log("no notification " + method + ": ignored");
    return;
  }
  if (phase_ != Phase::Running) {
    if (phase_ == Phase::Starting) Log(method + " before initialize: dropped");
    return;
  }
  try {
    (this->*found->second)(params);
  } catch (const std::exception& error) {
    Log(method + ": " + error.what());
  }
}

std::optional<Json> Server::Initialize(const Json&, const Json& params) {
  ParseNoParams(params);
  phase_ = Phase::Running;
  if (!params.is_object()) return InitializeResult(settings_);
  if (params.contains("workspaceFolders") && params["workspaceFolders"].is_array()) {
    for (const Json& folder : params["workspaceFolders"])
      if (folder.is_object() && folder.contains("uri") && folder["uri"].is_string())
        if (const auto path = PathOfUri(folder["uri"].get<std::string>())) workspaceFolders_.push_back(*path);
  } else if (params.contains("rootUri") && params["rootUri"].is_string()) {
    if (const auto path = PathOfUri(params["rootUri"].get<std::string>())) workspaceFolders_.push_back(*path);
  }
  const Json capabilities = params.value("capabilities", Json::object());
  const Json textDocument = capabilities.is_object() ? capabilities.value("textDocument", Json::object()) : Json();
  if (textDocument.is_object()) {
    settings_.pullDiagnostics = textDocument.contains("diagnostic");
    const Json workspace = capabilities.value("workspace", Json::object());
    const Json diagnostics = workspace.is_object() ? workspace.value("diagnostics", Json::object()) : Json();
    settings_.refreshDiagnostics = diagnostics.is_object() && diagnostics.value("refreshSupport", Json()) == true;
    const Json rename = textDocument.value("rename", Json::object());
    settings_.prepareRename = rename.is_object() && rename.contains("prepareSupport") && rename["prepareSupport"] == true;
    settings_.hover = PreferredMarkup(textDocument.value("hover", Json::object()));
  }
  // A title bar of another width than the reader's usual one.
  const Json options = params.value("initializationOptions", Json::object());
  if (const auto width = WidthSetting(options)) settings_.width = *width;
  if (options.is_object() && options.contains("playCommand") && options["playCommand"].is_string())
    settings_.playCommand = options["playCommand"].get<std::string>();
  return InitializeResult(settings_);
}

std::optional<Json> Server::Shutdown(const Json&, const Json& params) {
  ParseNoParams(params);
  shutdownRequested_ = true;
  phase_ = Phase::ShutDown;
  return Json(nullptr);
}

std::optional<Json> Server::GoToDefinition(const Json&, const Json& params) {
  const PositionParams at = ParsePositionParams(params);
  return DefinitionJson(*StoryOf(at.uri), at.position);
}

std::optional<Json> Server::FindReferences(const Json&, const Json& params) {
  const ReferenceParams parsed = ParseReferenceParams(params);
  return ReferencesJson(*StoryOf(parsed.at.uri), parsed.at.position, parsed.includeDeclaration);
}

std::optional<Json> Server::DescribeLine(const Json&, const Json& params) {
  const PositionParams at = ParsePositionParams(params);
  // The hover never waits for a walk: the keys come once this version's walk is done.
  return HoverJson(*StoryOf(at.uri), at.position, settings_.width, CurrentWalk(at.uri), settings_.hover);
}

std::optional<Json> Server::CompleteAt(const Json&, const Json& params) {
  const PositionParams at = ParsePositionParams(params);
  return CompletionJson(*StoryOf(at.uri), at.position, running_);
}

std::optional<Json> Server::Outline(const Json& id, const Json& params) {
  const std::string uri = ParseDocumentParams(params).uri;
  const std::shared_ptr<const StoryDocument> story = StoryOf(uri);
  auto& [of, outline] = outlined_[uri];
  if (of.lock() != story) {
    outline = SymbolsJsonText(*story, running_);
    of = story;
  }
  SendText(ResponseText(id, outline));
  return std::nullopt;
}

std::optional<Json> Server::PrepareRenaming(const Json&, const Json& params) {
  const PositionParams at = ParsePositionParams(params);
  return PrepareRenameJson(*StoryOf(at.uri), at.position);
}

std::optional<Json> Server::RenameLabel(const Json&, const Json& params) {
  const RenameParams parsed = ParseRenameParams(params);
  return RenameJson(*StoryOf(parsed.at.uri), parsed.at.position, parsed.newName);
}

std::optional<Json> Server::FixDiagnostics(const Json&, const Json& params) {
  const CodeActionParams parsed = ParseCodeActionParams(params);
  return CodeActionsJson(*StoryOf(parsed.uri), parsed.diagnostics);
}

std::optional<Json> Server::ColourTokens(const Json&, const Json& params) {
  const std::string uri = ParseDocumentParams(params).uri;
  const std::shared_ptr<const StoryDocument> story = StoryOf(uri);
  Coloured& coloured = coloured_[uri];
  std::vector<std::uint32_t> data = SemanticTokenData(*story, coloured.story, coloured.sent, running_);
  coloured = {std::to_string(++lastResultId_), std::move(data), story};
  return Json{{"resultId", coloured.resultId}, {"data", coloured.sent}};
}

std::optional<Json> Server::ColourTokenEdits(const Json&, const Json& params) {
  const TokenEditsParams parsed = ParseTokenEditsParams(params);
  const std::shared_ptr<const StoryDocument> story = StoryOf(parsed.uri);
  Coloured& coloured = coloured_[parsed.uri];
  std::vector<std::uint32_t> data = SemanticTokenData(*story, coloured.story, coloured.sent, running_);
  // Only the last tokens sent are kept: an editor naming any other result (one whose
  // answer it dropped, or one of a server before this) gets them all.
  Json answer = !coloured.resultId.empty() && coloured.resultId == parsed.previousResultId
                    ? SemanticTokenEditsJson(coloured.sent, data)
                    : Json{{"data", data}};
  coloured = {std::to_string(++lastResultId_), std::move(data), story};
  answer["resultId"] = coloured.resultId;
  return answer;
}

std::optional<Json> Server::LensesOf(const Json& id, const Json& params) {
  const std::string uri = ParseDocumentParams(params).uri;
  const std::shared_ptr<const StoryDocument> story = StoryOf(uri);
  // A text that is empty, has no line break or does not load has nothing to walk: once
  // its version is checked there is nothing to wait for.
  if (const DiagnosisResult* checked = CurrentDiagnosis(uri))
    return checked->walk ? LensesJson(*story, *checked->walk, settings_.playCommand, running_) : Json::array();
  // Lenses without the walk would say nothing: the answer waits for it, with any pull
  // of the same version.
  WaitForWalk(id, uri, std::nullopt);
  return std::nullopt;
}

std::optional<Json> Server::Play(const Json& id, const Json& params) {
  const PlayParams parsed = ParsePlayParams(params);
  const std::shared_ptr<const StoryDocument> story = StoryOf(parsed.uri);
  if (!parsed.line) return PlayJson(*story, nullptr, std::nullopt);
  // The way to a line is the walk's: the answer waits for this version's.
  if (const DiagnosisResult* checked = CurrentDiagnosis(parsed.uri)) return PlayJson(*story, checked->walk.get(), parsed.line);
  WaitForWalk(id, parsed.uri, parsed.line);
  return std::nullopt;
}

void Server::WaitForWalk(const Json& id, const std::string& uri, std::optional<std::size_t> playLine) {
  waitingForWalk_.push_back({id, uri, playLine});
  StartDiagnosis(uri);
}

const DiagnosisResult* Server::CurrentDiagnosis(const std::string& uri) {
  const DiagnosisResult* result = diagnoses_.Find(uri);
  const auto story = stories_.find(uri);
  if (!result || story == stories_.end() || result->story != story->second || result->width != settings_.width)
    return nullptr;
  return result;
}

void Server::StartDiagnosis(const std::string& uri) {
  DiagnosisJob job;
  job.uri = uri;
  job.width = settings_.width;
  job.story = StoryOf(uri);  // first: what is current is judged against the current version
  if (CurrentDiagnosis(uri) || !ports_.diagnose) return;
  job.version = job.story->version;
  Diagnosing& on = diagnosing_[uri];
  if (SameWork(on.job, job)) return;
  // Another width for the same version: the pulls wait on for the new job.
  *on.job.stop = true;
  on.job = job;
  ports_.diagnose(std::move(job));
}

void Server::Replaced(const std::string& uri) {
  const auto on = diagnosing_.find(uri);
  if (on == diagnosing_.end()) return;
  *on->second.job.stop = true;
  for (const auto& [id, previous] : on->second.pulls)
    Send(ErrorResponse(id, ErrorCode::ContentModified, "the document changed while it was checked"));
  diagnosing_.erase(on);
}

const WalkResult* Server::CurrentWalk(const std::string& uri) {
  const DiagnosisResult* result = CurrentDiagnosis(uri);
  return result ? result->walk.get() : nullptr;
}

void Server::AnswerWaitingForWalk(const std::string& uri) {
  const DiagnosisResult* checked = CurrentDiagnosis(uri);
  const bool open = documents_.Find(uri) != nullptr;
  if (!checked && open) return;  // a newer version's walk is on its way
  const WalkResult* walk = checked ? checked->walk.get() : nullptr;
  std::erase_if(waitingForWalk_, [&](const WaitingForWalk& waiting) {
    if (waiting.uri != uri) return false;
    const char* method = waiting.playLine ? "quillshade/play" : "codeLens";
    try {
      if (!waiting.playLine)
        Send(Response(waiting.id, walk ? LensesJson(*stories_[uri], *walk, settings_.playCommand) : Json::array()));
      else if (!open)
        Send(ErrorResponse(waiting.id, ErrorCode::RequestFailed, "the document " + uri + " is not open"));
      else
        Send(Response(waiting.id, PlayJson(*stories_[uri], walk, waiting.playLine)));
    } catch (const RefusedRequest& refused) {
      Send(ErrorResponse(waiting.id, ErrorCode::RequestFailed, refused.what()));
    } catch (const std::exception& error) {
      Send(ErrorResponse(waiting.id, ErrorCode::InternalError, std::string(method) + " failed: " + error.what()));
    }
    return true;
  });
}

std::shared_ptr<const StoryDocument> Server::StoryOf(const std::string& uri) {
  const Document* document = documents_.Find(uri);
  if (!document) throw RefusedRequest("the document " + uri + " is not open");
  auto& story = stories_[uri];
  // The story of the version before is where the new one is made from.
  if (!story || story->version != document->version)
    story = StoryDocumentOf(uri, document->version, document->text, IsTextSourceUri(uri, document->text.Text()),
                            story.get());
  return story;
}

void Server::Initialized(const Json& params) {
  ParseNoParams(params);
  ScanWorkspace();
}

void Server::DidOpen(const Json& params) {
  OpenParams parsed = ParseOpenParams(params);
  const std::string uri = parsed.uri;
  // A second open of an open document replaces it, text and version: the analysis of
  // the old text must not survive just because the version number did not move.
  Replaced(uri);
  stories_.erase(uri);
  diagnoses_.Forget(uri);
  if (const auto refused = documents_.Open({uri, parsed.version, DocumentText(std::move(parsed.text))})) {
    Log(uri + ": " + *refused);
    return;
  }
  Changed(uri);
}

void Server::DidChange(const Json& params) {
  const ChangeParams parsed = ParseChangeParams(params);
  if (const auto refused = documents_.Apply(parsed.uri, parsed.version, parsed.changes)) {
    Log(parsed.uri + ": " + *refused);
    return;
  }
  Replaced(parsed.uri);
  Changed(parsed.uri);
}

void Server::DidClose(const Json& params) {
  const std::string uri = ParseDocumentParams(params).uri;
  Replaced(uri);
  documents_.Close(uri);
  stories_.erase(uri);
  pulled_.erase(uri);
  coloured_.erase(uri);
  outlined_.erase(uri);
  diagnoses_.Forget(uri);
  AnswerWaitingForWalk(uri);
  if (!settings_.pullDiagnostics) Send(Notification("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", Json::array()}}));
  // A story of the workspace still counts for flags D and E as the file on disk has it.
  if (const auto path = PathOfUri(uri); path && InWorkspace(*path)) DiagnoseWorkspaceFile(uri);
  PublishAll();
}

void Server::DidSave(const Json& params) {
  const std::string uri = ParseDocumentParams(params).uri;
  if (!documents_.Find(uri)) DiagnoseWorkspaceFile(uri);
}

void Server::DidChangeWatchedFiles(const Json& params) {
  for (const WatchedFileChange& change : ParseWatchedFilesParams(params)) {
    if (change.deleted) {
      diagnoses_.Forget(change.uri);
      PublishAll();
    } else if (!documents_.Find(change.uri)) {
      DiagnoseWorkspaceFile(change.uri);
    }
  }
}

void Server::DidChangeConfiguration(const Json& params) {
  const Json settings = params.is_object() ? params.value("settings", Json()) : Json();
  const auto width = WidthSetting(settings.is_object() ? settings.value("quillshade", Json()) : Json());
  if (!width || *width == settings_.width) return;
  settings_.width = *width;
  // Every finding about a line's width changes: each open document is checked again,
  // and an editor that pulls is asked to.
  for (const Document* document : documents_.All()) Changed(document->uri);
  if (settings_.pullDiagnostics) RequestRefresh();
}

void Server::CancelRequest(const Json& params) {
  const Json id = ParseCancelParams(params);
  bool found = std::erase_if(waitingForWalk_, [&](const WaitingForWalk& waiting) { return waiting.id == id; }) > 0;
  for (auto on = diagnosing_.begin(); on != diagnosing_.end();) {
    const bool here = std::erase_if(on->second.pulls, [&](const auto& pull) { return pull.first == id; }) > 0;
    found = found || here;
    // A walk no request waits for any more stops, unless it is to be published.
    const bool awaited = !on->second.pulls.empty() || std::any_of(waitingForWalk_.begin(), waitingForWalk_.end(),
                                                                  [&](const auto& lens) { return lens.uri == on->first; });
    if (here && !awaited && settings_.pullDiagnostics) {
      *on->second.job.stop = true;
      on = diagnosing_.erase(on);
    } else {
      ++on;
    }
  }
  if (found) Send(ErrorResponse(id, ErrorCode::RequestCancelled, "cancelled"));
}

void Server::Changed(const std::string& uri) {
  // An editor that pulls asks for its diagnostics; only waiting lenses, and pulls waiting
  // for the version at another width, need the walk now.
  const auto on = diagnosing_.find(uri);
  const bool awaited = (on != diagnosing_.end() && !on->second.pulls.empty()) ||
                       std::any_of(waitingForWalk_.begin(), waitingForWalk_.end(),
                                   [&](const auto& waiting) { return waiting.uri == uri; });
  if (!settings_.pullDiagnostics || awaited) StartDiagnosis(uri);
}

std::optional<Json> Server::PullDiagnostics(const Json& id, const Json& params) {
  const std::string uri = ParseDocumentParams(params).uri;
  const Json previous = params.value("previousResultId", Json());
  const std::string previousResultId = previous.is_string() ? previous.get<std::string>() : std::string();
  StoryOf(uri);  // refused when the document is not open
  if (CurrentDiagnosis(uri)) return PullAnswer(uri, previousResultId, DiagnosticsJson(*stories_[uri], diagnoses_.WithCarriedFlags(uri)));
  if (!ports_.diagnose) return Json{{"kind", "full"}, {"items", Json::array()}};
  StartDiagnosis(uri);
  diagnosing_[uri].pulls.emplace_back(id, previousResultId);
  return std::nullopt;  // answered when the worker is done
}

Json Server::PullAnswer(const std::string& uri, const std::string& previousResultId, Json items) {
  auto& [resultId, answered] = pulled_[uri];
  if (!resultId.empty() && resultId == previousResultId && answered == items) return {{"kind", "unchanged"}, {"resultId", resultId}};
  resultId = std::to_string(++lastResultId_);
  answered = items;
  return {{"kind", "full"}, {"resultId", resultId}, {"items", std::move(items)}};
}

void Server::AnswerPulls(const DiagnosisResult& result, bool whole) {
  const auto on = diagnosing_.find(result.uri);
  if (on == diagnosing_.end() || !result.path.empty() || on->second.job.story != result.story ||
      on->second.job.width != result.width)
    return;  // another version's, or another width's
  std::vector<std::pair<Json, std::string>> pulls = std::move(on->second.pulls);
  on->second.pulls.clear();
  const bool linesAnswered = on->second.linesAnswered || (!whole && !pulls.empty());
  if (whole) diagnosing_.erase(on);
  else on->second.linesAnswered = linesAnswered;
  if (result.stopped) {
    for (const auto& [id, previous] : pulls) Send(ErrorResponse(id, ErrorCode::ContentModified, "the check was stopped"));
    return;
  }
  std::vector<Diagnostic> lines;
  if (!whole) {
    lines = result.report.diagnostics;
    SortByPlace(lines);
  }
  const Json items = DiagnosticsJson(*result.story, whole ? diagnoses_.WithCarriedFlags(result.uri) : lines);
  // What a pull answered with the line checks alone is stale once the walk adds to it.
  const bool stale = whole && linesAnswered && pulled_[result.uri].second != items;
  for (const auto& [id, previous] : pulls) Send(Response(id, PullAnswer(result.uri, previous, items)));
  if (stale && pulls.empty()) RequestRefresh();
}

void Server::RequestRefresh() {
  if (settings_.refreshDiagnostics) Send({{"jsonrpc", "2.0"}, {"id", ++lastRequestId_}, {"method", "workspace/diagnostic/refresh"}});
}

bool Server::InWorkspace(const std::string& path) const {
  for (const std::string& folder : workspaceFolders_)
    if (path.rfind(folder + "/", 0) == 0) return true;
  return false;
}

void Server::ScanWorkspace() {
  std::size_t found = 0;
  for (const std::string& folder : workspaceFolders_) {
    std::error_code error;
    auto it = std::filesystem::recursive_directory_iterator(
        PathFromUtf8(folder), std::filesystem::directory_options::skip_permission_denied, error);
    for (; !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      if (it.depth() >= kMaxWorkspaceDepth) it.disable_recursion_pending();
      const std::string name = it->path().filename().string();
      if (it->is_directory(error) && !name.empty() && name[0] == '.') it.disable_recursion_pending();
      if (!it->is_regular_file(error) || !IsStoryFileName(Utf8FromPath(it->path()))) continue;
      if (++found > kMaxWorkspaceStories) {
        Log("more than " + std::to_string(kMaxWorkspaceStories) + " story files in the workspace: the rest are not read");
        return;
      }
      DiagnoseWorkspaceFile(UriOfPath(Utf8FromPath(it->path())));
    }
  }
}

void Server::DiagnoseWorkspaceFile(const std::string& uri) {
  const auto path = PathOfUri(uri);
  if (!path || !IsStoryFileName(*path)) return;
  DiagnosisJob job;
  job.uri = uri;
  job.width = settings_.width;
  job.path = *path;
  if (ports_.diagnose) ports_.diagnose(std::move(job));
}

void Server::Diagnosed(DiagnosisResult result) {
  if (result.stopped) {
    AnswerPulls(result, true);
    return;
  }
  if (result.linesOnly) {
    // A pulling editor that can be asked to pull again has the line checks at once.
    if (settings_.refreshDiagnostics) AnswerPulls(result, false);
    PublishLineChecks(result);
    return;
  }
  // An open document's own version wins over the file on disk; a stale version, a text
  // opened again since under the same version, or a document closed since is never
  // published.
  const Document* document = documents_.Find(result.uri);
  if (document ? !result.path.empty() || result.version != document->version : result.path.empty()) return;
  if (const auto current = stories_.find(result.uri); document && (current == stories_.end() || current->second != result.story))
    return;
  const std::string uri = result.uri;
  diagnoses_.Store(std::move(result));
  PublishAll(uri);
  AnswerPulls(*diagnoses_.Find(uri), true);
  AnswerWaitingForWalk(uri);
}

void Server::PublishLineChecks(const DiagnosisResult& result) {
  if (settings_.pullDiagnostics) return;
  // Only for the text the editor holds now, and only until its walk's findings are out.
  const Document* document = documents_.Find(result.uri);
  const auto current = stories_.find(result.uri);
  if (!document || current == stories_.end() || current->second != result.story) return;
  if (const DiagnosisResult* whole = diagnoses_.Find(result.uri); whole && whole->story == result.story) return;
  std::vector<Diagnostic> diagnostics = result.report.diagnostics;
  SortByPlace(diagnostics);
  Json params{{"uri", result.uri}, {"version", document->version}, {"diagnostics", DiagnosticsJson(*result.story, diagnostics)}};
  if (diagnoses_.MarkPublished(result.uri, params)) Send(Notification("textDocument/publishDiagnostics", std::move(params)));
}

void Server::PublishAll(const std::string& diagnosed) {
  if (settings_.pullDiagnostics) {
    for (const Document* document : documents_.All()) {
      const auto pulled = pulled_.find(document->uri);
      const DiagnosisResult* result = diagnoses_.Find(document->uri);
      if (document->uri == diagnosed || pulled == pulled_.end() || !result || !result->story ||
          result->story->version != document->version)
        continue;
      if (pulled->second.second != DiagnosticsJson(*result->story, diagnoses_.WithCarriedFlags(document->uri))) {
        RequestRefresh();
        return;
      }
    }
    return;
  }
  for (const Document* document : documents_.All()) {
    const DiagnosisResult* result = diagnoses_.Find(document->uri);
    if (!result || !result->story || result->story->version != document->version) continue;
    // Each version is published once, and again only when another story changes its
    // judgement of flags D and E.
    Json params{{"uri", document->uri},
                {"version", document->version},
                {"diagnostics", DiagnosticsJson(*result->story, diagnoses_.WithCarriedFlags(document->uri))}};
    if (!diagnoses_.MarkPublished(document->uri, params)) continue;
    Send(Notification("textDocument/publishDiagnostics", std::move(params)));
  }
}

}  // namespace quillshade::qsd::lsp
