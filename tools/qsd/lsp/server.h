// The editor service's dispatcher: lifecycle, documents, and each method to its feature.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/qsd/lsp/diagnosis.h"
#include "tools/qsd/lsp/documents.h"
#include "tools/qsd/lsp/features.h"
#include "tools/qsd/lsp/json_rpc.h"
#include "tools/qsd/lsp/protocol.h"
#include "tools/qsd/lsp/story_document.h"
#include "tools/qsd/lsp/transport.h"

namespace quillshade::qsd::lsp {

// What the server needs from the world around it: a way to send, to log, and the
// diagnosis worker that walks stories off the dispatch thread. Any may be left empty.
struct ServerPorts {
  std::function<void(const Json&)> send;
  std::function<void(std::string_view)> log;
  std::function<void(DiagnosisJob)> diagnose;
  // Whether the client has cancelled a request, as the reader saw it arrive: asked while
  // a long request runs, since the cancellation waits behind it in the queue.
  std::function<bool(const Json& requestId)> cancelled;
  // A message already written as JSON text, as the largest answers are made; when empty,
  // the text is parsed and sent as a value.
  std::function<void(std::string_view message)> sendText = {};
};

// Handles one message at a time, in the order they arrived; never throws.
class Server {
 public:
  explicit Server(ServerPorts ports) : ports_(std::move(ports)) {}

  void Handle(const Incoming& incoming);
  // A diagnosis the worker finished: published only if its version is still current.
  void Diagnosed(DiagnosisResult result);

  bool Exited() const { return exited_; }
  int ExitStatus() const { return shutdownRequested_ ? 0 : 1; }

 private:
  enum class Phase { Starting, Running, ShutDown };
  // A request's answer, or nothing when it is answered later (by the diagnosis worker).
  using RequestHandler = std::optional<Json> (Server::*)(const Json& id, const Json& params);
  using NotificationHandler = void (Server::*)(const Json& params);
  static const std::map<std::string_view, RequestHandler>& Requests();
  static const std::map<std::string_view, NotificationHandler>& Notifications();

  void Send(const Json& message);
  void SendText(std::string_view message);
  void Log(std::string_view line);
  void HandleMessage(const Json& message);
  void HandleRequest(const Json& id, const std::string& method, const Json& params);
  void HandleNotification(const std::string& method, const Json& params);

  std::optional<Json> Initialize(const Json& id, const Json& params);
  std::optional<Json> Shutdown(const Json& id, const Json& params);
  std::optional<Json> PullDiagnostics(const Json& id, const Json& params);
  std::optional<Json> GoToDefinition(const Json& id, const Json& params);
  std::optional<Json> FindReferences(const Json& id, const Json& params);
  std::optional<Json> DescribeLine(const Json& id, const Json& params);
  std::optional<Json> CompleteAt(const Json& id, const Json& params);
  std::optional<Json> Outline(const Json& id, const Json& params);
  std::optional<Json> PrepareRenaming(const Json& id, const Json& params);
  std::optional<Json> RenameLabel(const Json& id, const Json& params);
  std::optional<Json> FixDiagnostics(const Json& id, const Json& params);
  std::optional<Json> ColourTokens(const Json& id, const Json& params);
  std::optional<Json> ColourTokenEdits(const Json& id, const Json& params);
  std::optional<Json> LensesOf(const Json& id, const Json& params);
  std::optional<Json> Play(const Json& id, const Json& params);

  void Initialized(const Json& params);
  void DidOpen(const Json& params);
  void DidChange(const Json& params);
  void DidClose(const Json& params);
  void DidSave(const Json& params);
  void DidChangeWatchedFiles(const Json& params);
  void DidChangeConfiguration(const Json& params);
  void CancelRequest(const Json& params);

  bool InWorkspace(const std::string& path) const;
  void ScanWorkspace();
  void DiagnoseWorkspaceFile(const std::string& uri);
  void Changed(const std::string& uri);
  // Every open document's findings whose judgement of flags D and E another story's
  // changed; an editor that pulls is asked to pull again instead (but for `diagnosed`,
  // whose own pulls its result answers).
  void PublishAll(const std::string& diagnosed = {});
  void PublishLineChecks(const DiagnosisResult& result);
  // Hands the worker the job of the document's current version, unless it is on it or
  // has done it already.
  void StartDiagnosis(const std::string& uri);
  // The document's version is gone: the pulls that waited for it are told so, its job stops.
  void Replaced(const std::string& uri);
  // A pull's answer: the items, or that they are those of the pull's previous result.
  Json PullAnswer(const std::string& uri, const std::string& previousResultId, Json items);
  void AnswerPulls(const DiagnosisResult& result, bool whole);
  void RequestRefresh();
  std::shared_ptr<const StoryDocument> StoryOf(const std::string& uri);
  // The report on the document's current version, once the worker has finished it.
  const DiagnosisResult* CurrentDiagnosis(const std::string& uri);
  // Its walk; none while the worker is on it, nor when the text had nothing to walk.
  const WalkResult* CurrentWalk(const std::string& uri);
  // Holds a request until the walk of the document's version is done, sharing the job of
  // that version (started here when none is on its way).
  void WaitForWalk(const Json& id, const std::string& uri, std::optional<std::size_t> playLine);
  // Answers the lens and play requests that waited for the walk of the document's version.
  void AnswerWaitingForWalk(const std::string& uri);

  ServerPorts ports_;
  Phase phase_ = Phase::Starting;
  bool shutdownRequested_ = false;
  bool exited_ = false;
  ServerSettings settings_;
  CancelCheck running_;  // of the request being handled
  std::vector<std::string> workspaceFolders_;  // paths
  DocumentStore documents_;
  std::map<std::string, std::shared_ptr<const StoryDocument>> stories_;  // by URI, current versions
  Diagnoses diagnoses_;
  // Requests waiting for a walk: lenses, and plays to a line (the editor line).
  struct WaitingForWalk {
    Json id;
    std::string uri;
    std::optional<std::size_t> playLine;  // none for lenses
  };
  std::vector<WaitingForWalk> waitingForWalk_;
  // The job of an open document's current version while the worker is on it: every pull
  // and lens request of that version waits on this one.
  struct Diagnosing {
    DiagnosisJob job;  // as posted; its stop flag is shared with the worker
    std::vector<std::pair<Json, std::string>> pulls;  // (id, previous result id) waiting
    bool linesAnswered = false;  // a pull had the line checks alone: the rest follows by a refresh
  };
  std::map<std::string, Diagnosing> diagnosing_;
  std::map<std::string, std::pair<std::string, Json>> pulled_;  // the last pull's result id and items, by URI
  // The last semantic tokens sent, by URI, with their result id and the version they
  // colour: an editor that names that id is answered with the edits from them, and the
  // next version's are made from them where the lines did not change.
  struct Coloured {
    std::string resultId;
    std::vector<std::uint32_t> sent;
    std::shared_ptr<const StoryDocument> story;
  };
  std::map<std::string, Coloured> coloured_;
  // The last outline answered, by URI, and the version it outlines: editors ask for it
  // again and again while nothing changed.
  std::map<std::string, std::pair<std::weak_ptr<const StoryDocument>, std::string>> outlined_;
  std::uint64_t lastResultId_ = 0;
  std::int64_t lastRequestId_ = 0;  // of the server's own requests to the client
};

// Runs the server on a file descriptor and a stream until `exit` or the end of input;
// answers the exit status.
int RunLanguageServer(int in, std::FILE* out);

}  // namespace quillshade::qsd::lsp
