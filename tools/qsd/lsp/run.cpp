// The editor service's threads: one reads messages, one dispatches them, one diagnoses.
#include <cstdio>
#include <memory>
#include <thread>

#include "tools/qsd/lsp/event_queue.h"
#include "tools/qsd/lsp/server.h"

namespace quillshade::qsd::lsp {
namespace {

void Log(std::string_view line) { std::fprintf(stderr, "qsd lsp: %.*s\n", static_cast<int>(line.size()), line.data()); }

}  // namespace

int RunLanguageServer(int in, std::FILE* out) {
  // Shared with the reader thread, which may outlive this function.
  const auto events = std::make_shared<EventQueue>();
  const auto cancels = std::make_shared<CancelledRequests>();
  MessageWriter writer(out);
  // The worker's thread holds the queue it posts to, so that the queue outlives it
  // whatever order these are declared and destroyed in.
  DiagnosisWorker worker([events](DiagnosisResult result) { events->Push(std::move(result), false); });
  Server server(ServerPorts{
      [&writer](const Json& message) { writer.Write(message); },
      Log,
      [&worker](DiagnosisJob job) { worker.Post(std::move(job)); },
      [&cancels](const Json& id) { return cancels->Contains(id); },
      [&writer](std::string_view message) { writer.WriteText(message); },
  });
  // The reader may be blocked reading when `exit` arrives; the process ends around it.
  std::thread([events, cancels, in] {
    MessageReader reader(in);
    for (;;) {
      Incoming incoming = reader.Read();
      if (const Json id = CancelledId(incoming); !id.is_null()) cancels->Mark(id);
      const bool end = incoming.kind == Incoming::Kind::End;
      events->Push(std::move(incoming), true);
      if (end) return;
    }
  }).detach();
  while (!server.Exited()) {
    Event event = events->Pop();
    if (auto* incoming = std::get_if<Incoming>(&event)) {
      server.Handle(*incoming);
      // The request it names came before it, so it has been answered (or is the
      // worker's now, which Handle told): the mark is no longer needed, whatever the
      // server made of the cancellation.
      if (const Json id = CancelledId(*incoming); !id.is_null()) cancels->Unmark(id);
    } else {
      server.Diagnosed(std::move(std::get<DiagnosisResult>(event)));
    }
  }
  std::fflush(out);
  return server.ExitStatus();
}

}  // namespace quillshade::qsd::lsp
