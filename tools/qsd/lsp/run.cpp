// The editor service's threads: one reads messages, one dispatches them, one diagnoses.
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <variant>

#include "tools/qsd/lsp/server.h"

namespace quillshade::qsd::lsp {
namespace {

using Event = std::variant<Incoming, DiagnosisResult>;

// What the dispatcher has yet to handle. The reader waits while many messages are
// queued, so a client that writes faster than the server answers cannot fill memory.
class EventQueue {
 public:
  void Push(Event event, bool fromReader) {
    std::unique_lock lock(mutex_);
    if (fromReader) roomLeft_.wait(lock, [this] { return events_.size() < kMaxQueued; });
    events_.push_back(std::move(event));
    ready_.notify_one();
  }

  Event Pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !events_.empty(); });
    Event event = std::move(events_.front());
    events_.pop_front();
    roomLeft_.notify_one();
    return event;
  }

 private:
  static constexpr std::size_t kMaxQueued = 16;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable roomLeft_;
  std::deque<Event> events_;
};

void Log(std::string_view line) { std::fprintf(stderr, "qsd lsp: %.*s\n", static_cast<int>(line.size()), line.data()); }

}  // namespace

int RunLanguageServer(int in, std::FILE* out) {
  // Shared with the reader thread, which may outlive this function.
  const auto events = std::make_shared<EventQueue>();
  MessageWriter writer(out);
  DiagnosisWorker worker([&events](DiagnosisResult result) { events->Push(std::move(result), false); });
  Server server(ServerPorts{
      [&writer](const Json& message) { writer.Write(message); },
      Log,
      [&worker](DiagnosisJob job) { worker.Post(std::move(job)); },
      [&worker](const Json& id) { return worker.Cancel(id); },
  });
  // The reader may be blocked reading when `exit` arrives; the process ends around it.
  std::thread([events, in] {
    MessageReader reader(in);
    for (;;) {
      Incoming incoming = reader.Read();
      const bool end = incoming.kind == Incoming::Kind::End;
      events->Push(std::move(incoming), true);
      if (end) return;
    }
  }).detach();
  while (!server.Exited()) {
    Event event = events->Pop();
    if (auto* incoming = std::get_if<Incoming>(&event)) {
      server.Handle(*incoming);
    } else {
      server.Diagnosed(std::move(std::get<DiagnosisResult>(event)));
    }
  }
  std::fflush(out);
  return server.ExitStatus();
}

}  // namespace quillshade::qsd::lsp
