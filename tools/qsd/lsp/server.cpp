// Lifecycle, document sync and dispatch of the editor service's methods.
#include "tools/qsd/lsp/server.h"

#include <filesystem>
#include <system_error>

#include "story/utf8.h"
#include "tools/qsd/lsp/features.h"
#include "tools/qsd/lsp/protocol.h"
#include "tools/qsd/lib/platform.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd::lsp {
namespace {

// A workspace folder may hold many files; past these the rest are not read.
constexpr std::size_t kMaxWorkspaceStories = 200;
constexpr int kMaxWorkspaceDepth = 4;

// A request whose parameters do not say what it needs.
struct BadParams : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const Json& Field(const Json& object, const char* name) {
  if (!object.is_object() || !object.contains(name)) throw BadParams(std::string("missing \"") + name + "\"");
  return object.at(name);
}

std::string StringField(const Json& object, const char* name) {
  const Json& value = Field(object, name);
  if (!value.is_string()) throw BadParams(std::string("\"") + name + "\" is not a string");
  return value.get<std::string>();
}

std::int64_t IntegerField(const Json& object, const char* name) {
  const Json& value = Field(object, name);
  if (!value.is_number_integer()) throw BadParams(std::string("\"") + name + "\" is not an integer");
  return value.get<std::int64_t>();
}

std::u16string TextField(const Json& object, const char* name) {
  std::optional<std::u16string> text = FromUtf8(StringField(object, name));
  if (!text) throw BadParams(std::string("\"") + name + "\" is not UTF-8");
  return std::move(*text);
}

Position PositionField(const Json& object, const char* name) {
  const Json& position = Field(object, name);
  return Position{IntegerField(position, "line"), IntegerField(position, "character")};
}

Range RangeField(const Json& object, const char* name) {
  const Json& range = Field(object, name);
  return Range{PositionField(range, "start"), PositionField(range, "end")};
}

std::string DocumentUri(const Json& params) { return StringField(Field(params, "textDocument"), "uri"); }

// A story of the workspace: a story file or a text source, by the name's end.
bool IsStoryFileName(std::string_view name) { return IsStoryName(name); }

}  // namespace

void Server::Handle(const Incoming& incoming) {
  switch (incoming.kind) {
    case Incoming::Kind::Message:
      HandleMessage(incoming.message);
      break;
    case Incoming::Kind::NotJson:
      ports_.log(incoming.problem);
      ports_.send(ErrorResponse(nullptr, ErrorCode::ParseError, incoming.problem));
      break;
    case Incoming::Kind::Malformed:
      ports_.log(incoming.problem);
      break;
    case Incoming::Kind::End:
      if (!exited_) ports_.log("the input ended without an exit notification");
      exited_ = true;
      break;
  }
}

void Server::HandleMessage(const Json& message) {
  if (!message.is_object() || message.value("jsonrpc", Json()) != "2.0") {
    ports_.send(ErrorResponse(message.is_object() && message.contains("id") ? message["id"] : Json(),
                              ErrorCode::InvalidRequest, "not a JSON-RPC 2.0 message"));
    return;
  }
  const bool hasId = message.contains("id");
  if (!message.contains("method")) {
    if (!hasId) ports_.send(ErrorResponse(nullptr, ErrorCode::InvalidRequest, "a message without a method"));
    return;  // a response to a request of ours: nothing waits for it
  }
  const Json& id = hasId ? message["id"] : Json();
  if (hasId && !id.is_string() && !id.is_number_integer()) {
    ports_.send(ErrorResponse(nullptr, ErrorCode::InvalidRequest, "an id that is neither a number nor a string"));
    return;
  }
  if (!message["method"].is_string()) {
    if (hasId) ports_.send(ErrorResponse(id, ErrorCode::InvalidRequest, "a method that is not a string"));
    else ports_.log("a notification whose method is not a string");
    return;
  }
  const std::string method = message["method"].get<std::string>();
  const Json params = message.value("params", Json::object());
  if (!params.is_object() && !params.is_array()) {
    if (hasId) ports_.send(ErrorResponse(id, ErrorCode::InvalidParams, "params must be an object or an array"));
    else ports_.log(method + ": params must be an object or an array");
    return;
  }
  if (hasId) {
    HandleRequest(id, method, params);
  } else {
    HandleNotification(method, params);
  }
}

void Server::HandleRequest(const Json& id, const std::string& method, const Json& params) {
  try {
    if (method == "initialize") {
      if (phase_ != Phase::Starting) {
        ports_.send(ErrorResponse(id, ErrorCode::InvalidRequest, "initialize was already received"));
        return;
      }
      ports_.send(Response(id, Initialize(params)));
      phase_ = Phase::Running;
      return;
    }
    if (phase_ == Phase::Starting) {
      ports_.send(ErrorResponse(id, ErrorCode::ServerNotInitialized, "the server has not been initialized"));
      return;
    }
    if (phase_ == Phase::ShutDown) {
      ports_.send(ErrorResponse(id, ErrorCode::InvalidRequest, "the server is shutting down"));
      return;
    }
    if (method == "shutdown") {
      shutdownRequested_ = true;
      phase_ = Phase::ShutDown;
      ports_.send(Response(id, nullptr));
      return;
    }
    if (method == "textDocument/diagnostic") {
      PullDiagnostics(id, params);
      return;
    }
    bool found = true;
    Json result = Answer(method, params, found);
    if (!found) {
      ports_.send(ErrorResponse(id, ErrorCode::MethodNotFound, "no method " + method));
      return;
    }
    ports_.send(Response(id, std::move(result)));
  } catch (const RefusedRequest& refused) {
    ports_.send(ErrorResponse(id, ErrorCode::RequestFailed, refused.what()));
  } catch (const BadParams& bad) {
    ports_.send(ErrorResponse(id, ErrorCode::InvalidParams, method + ": " + bad.what()));
  } catch (const std::exception& error) {
    ports_.log(method + " failed: " + error.what());
    ports_.send(ErrorResponse(id, ErrorCode::InternalError, method + " failed: " + error.what()));
  }
}

void Server::HandleNotification(const std::string& method, const Json& params) {
  try {
    if (method == "exit") {
      exited_ = true;
      return;
    }
    if (phase_ != Phase::Running) {
      if (phase_ == Phase::Starting) ports_.log(method + " before initialize: dropped");
      return;
    }
    if (method == "initialized") {
      ScanWorkspace();
    } else if (method == "textDocument/didOpen") {
      DidOpen(params);
    } else if (method == "textDocument/didChange") {
      DidChange(params);
    } else if (method == "textDocument/didClose") {
      DidClose(params);
    } else if (method == "textDocument/didSave") {
      const std::string uri = DocumentUri(params);
      if (!documents_.Find(uri)) DiagnoseWorkspaceFile(uri);
    } else if (method == "workspace/didChangeWatchedFiles") {
      for (const Json& change : Field(params, "changes")) {
        const std::string uri = StringField(change, "uri");
        if (IntegerField(change, "type") == 3) {
          diagnoses_.Forget(uri);
          PublishAll();
        } else if (!documents_.Find(uri)) {
          DiagnoseWorkspaceFile(uri);
        }
      }
    } else if (method == "$/cancelRequest") {
      const Json& id = Field(params, "id");
      if (!id.is_string() && !id.is_number_integer()) throw BadParams("an id that is neither a number nor a string");
      if (ports_.cancel(id)) cancelled_.insert(id.dump());
    } else if (method.rfind("$/", 0) != 0) {
      ports_.log("no notification " + method + ": ignored");
    }
  } catch (const std::exception& error) {
    ports_.log(method + ": " + error.what());
  }
}

Json Server::Initialize(const Json& params) {
  if (params.contains("workspaceFolders") && params["workspaceFolders"].is_array()) {
    for (const Json& folder : params["workspaceFolders"])
      if (const auto path = PathOfUri(folder.value("uri", ""))) workspaceFolders_.push_back(*path);
  } else if (params.contains("rootUri") && params["rootUri"].is_string()) {
    if (const auto path = PathOfUri(params["rootUri"].get<std::string>())) workspaceFolders_.push_back(*path);
  }
  const Json capabilities = params.value("capabilities", Json::object());
  const Json textDocument = capabilities.is_object() ? capabilities.value("textDocument", Json::object()) : Json();
  if (textDocument.is_object()) {
    settings_.pullDiagnostics = textDocument.contains("diagnostic");
    const Json rename = textDocument.value("rename", Json::object());
    settings_.prepareRename = rename.is_object() && rename.value("prepareSupport", false);
  }
  // A title bar of another width than the reader's usual one, as `qsd check --width`.
  const Json options = params.value("initializationOptions", Json::object());
  if (options.is_object() && options.contains("width") && options["width"].is_number_unsigned() &&
      options["width"].get<std::uint64_t>() > 0 && options["width"].get<std::uint64_t>() < 100000)
    settings_.width = options["width"].get<std::size_t>();
  return InitializeResult(settings_);
}

Json Server::Answer(const std::string& method, const Json& params, bool& found) {
  if (method == "textDocument/documentSymbol") return SymbolsJson(*StoryOf(DocumentUri(params)));
  if (method == "textDocument/semanticTokens/full") return SemanticTokensJson(*StoryOf(DocumentUri(params)));
  if (method == "textDocument/codeAction") {
    const Json& context = Field(params, "context");
    return CodeActionsJson(*StoryOf(DocumentUri(params)), context.value("diagnostics", Json::array()));
  }
  const bool positional = method == "textDocument/definition" || method == "textDocument/references" ||
                          method == "textDocument/hover" || method == "textDocument/completion" ||
                          method == "textDocument/rename" || method == "textDocument/prepareRename";
  if (!positional) {
    found = false;
    return nullptr;
  }
  const Position position = PositionField(params, "position");
  const StoryDocument& story = *StoryOf(DocumentUri(params));
  if (method == "textDocument/definition") return DefinitionJson(story, position);
  if (method == "textDocument/references") {
    const Json context = params.value("context", Json::object());
    return ReferencesJson(story, position, context.is_object() && context.value("includeDeclaration", false));
  }
  if (method == "textDocument/hover") return HoverJson(story, position, settings_.width);
  if (method == "textDocument/completion") return CompletionJson(story, position);
  if (method == "textDocument/prepareRename") return PrepareRenameJson(story, position);
  std::optional<std::u16string> newName = FromUtf8(StringField(params, "newName"));
  if (!newName) throw BadParams("newName is not UTF-8");
  return RenameJson(story, position, *newName);
}

std::shared_ptr<const StoryDocument> Server::StoryOf(const std::string& uri) {
  const Document* document = documents_.Find(uri);
  if (!document) throw RefusedRequest("the document " + uri + " is not open");
  auto& story = stories_[uri];
  if (!story || story->version != document->version)
    story = StoryDocumentOf(uri, document->version, document->text.Text(), IsTextSourceUri(uri, document->text.Text()));
  return story;
}

void Server::DidOpen(const Json& params) {
  const Json& item = Field(params, "textDocument");
  Document document{StringField(item, "uri"), IntegerField(item, "version"), DocumentText(TextField(item, "text"))};
  const std::string uri = document.uri;
  if (const auto refused = documents_.Open(std::move(document))) {
    ports_.log(uri + ": " + *refused);
    return;
  }
  Changed(uri);
}

void Server::DidChange(const Json& params) {
  const Json& item = Field(params, "textDocument");
  const std::string uri = StringField(item, "uri");
  std::vector<DocumentStore::Change> changes;
  for (const Json& change : Field(params, "contentChanges")) {
    DocumentStore::Change one;
    if (change.contains("range")) one.range = RangeField(change, "range");
    one.text = TextField(change, "text");
    changes.push_back(std::move(one));
  }
  if (const auto refused = documents_.Apply(uri, IntegerField(item, "version"), changes)) {
    ports_.log(uri + ": " + *refused);
    return;
  }
  Changed(uri);
}

void Server::DidClose(const Json& params) {
  const std::string uri = DocumentUri(params);
  documents_.Close(uri);
  stories_.erase(uri);
  diagnoses_.Forget(uri);
  if (!settings_.pullDiagnostics) ports_.send(Notification("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", Json::array()}}));
  diagnoses_.Published().erase(uri);
  // A story of the workspace still counts for flags D and E as the file on disk has it.
  if (const auto path = PathOfUri(uri); path && InWorkspace(*path)) DiagnoseWorkspaceFile(uri);
  PublishAll();
}

void Server::Changed(const std::string& uri) {
  if (settings_.pullDiagnostics) return;  // the editor asks for them
  DiagnosisJob job;
  job.uri = uri;
  job.story = StoryOf(uri);
  job.version = job.story->version;
  ports_.diagnose(std::move(job));
}

void Server::PullDiagnostics(const Json& id, const Json& params) {
  DiagnosisJob job;
  job.uri = DocumentUri(params);
  job.story = StoryOf(job.uri);
  job.version = job.story->version;
  job.requestId = id;
  ports_.diagnose(std::move(job));
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
        ports_.log("more than " + std::to_string(kMaxWorkspaceStories) + " story files in the workspace: the rest are not read");
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
  job.path = *path;
  ports_.diagnose(std::move(job));
}

void Server::Diagnosed(DiagnosisResult result) {
  if (result.requestId) {
    const std::string key = result.requestId->dump();
    const Json id = *result.requestId;
    if (cancelled_.erase(key)) {
      ports_.send(ErrorResponse(id, ErrorCode::RequestCancelled, "cancelled"));
      return;
    }
    const Document* document = documents_.Find(result.uri);
    if (result.stopped || !document || document->version != result.version) {
      ports_.send(ErrorResponse(id, ErrorCode::ContentModified, "the document changed while it was checked"));
      return;
    }
    const std::string uri = result.uri;
    diagnoses_.Store(std::move(result));
    const Json items = DiagnosticsJson(*diagnoses_.Find(uri)->story, diagnoses_.WithCarriedFlags(uri));
    ports_.send(Response(id, {{"kind", "full"}, {"items", items}}));
    return;
  }
  if (result.stopped) return;
  // An open document's own version wins over the file on disk; a stale version or a
  // document closed since is never published.
  const Document* document = documents_.Find(result.uri);
  if (document ? !result.path.empty() || result.version != document->version : result.path.empty()) return;
  diagnoses_.Store(std::move(result));
  PublishAll();
}

void Server::PublishAll() {
  if (settings_.pullDiagnostics) return;
  for (const Document* document : documents_.All()) {
    const DiagnosisResult* result = diagnoses_.Find(document->uri);
    if (!result || !result->story || result->story->version != document->version) continue;
    // Each version is published once, and again only when another story changes its
    // judgement of flags D and E.
    Json params{{"uri", document->uri},
                {"version", document->version},
                {"diagnostics", DiagnosticsJson(*result->story, diagnoses_.WithCarriedFlags(document->uri))}};
    Json& published = diagnoses_.Published()[document->uri];
    if (published == params) continue;
    published = params;
    ports_.send(Notification("textDocument/publishDiagnostics", std::move(params)));
  }
}

}  // namespace quillshade::qsd::lsp
