// What the dispatch thread has yet to handle, and the requests the client cancelled,
// as the reader thread sees them arrive.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <set>
#include <string>
#include <variant>

#include "story/thread_annotations.h"
#include "tools/qsd/lsp/diagnosis.h"
#include "tools/qsd/lsp/json_rpc.h"
#include "tools/qsd/lsp/transport.h"

namespace quillshade::qsd::lsp {

using Event = std::variant<Incoming, DiagnosisResult>;

// The reader waits while `capacity` messages are queued, so a client that writes faster
// than the server answers cannot fill memory; the diagnosis worker never waits (it
// posts at most two results per job, a long story's line checks and then the whole
// report, and only the dispatcher posts jobs). A result goes ahead of the messages
// waiting: it is of a version the dispatcher already had, and an editor's requests for a
// long story's outline or colours must not hold its line checks back.
class EventQueue {
 public:
  explicit EventQueue(std::size_t capacity = 16) : capacity_(capacity) {}

  void Push(Event event, bool fromReader) {
    const MutexLock lock(mutex_);
    if (fromReader) {
      while (messages_.size() >= capacity_) mutex_.Wait(roomLeft_);
      messages_.push_back(std::move(event));
    } else {
      results_.push_back(std::move(event));
    }
    ready_.notify_one();
  }

  Event Pop() {
    const MutexLock lock(mutex_);
    while (results_.empty() && messages_.empty()) mutex_.Wait(ready_);
    std::deque<Event>& from = results_.empty() ? messages_ : results_;
    Event event = std::move(from.front());
    from.pop_front();
    roomLeft_.notify_one();
    return event;
  }

 private:
  const std::size_t capacity_;
  Mutex mutex_;
  std::condition_variable_any ready_;
  std::condition_variable_any roomLeft_;
  std::deque<Event> messages_ GUARDED_BY(mutex_);  // from the reader, in their order
  std::deque<Event> results_ GUARDED_BY(mutex_);   // from the worker, in theirs
};

// Ids of requests the client cancelled. The reader marks them as it reads, ahead of the
// dispatcher, so that a long request can see it is cancelled while it runs; the
// dispatcher unmarks each when it reaches the cancellation itself, which comes after the
// request, so at most the queue's capacity of marks are ever held.
class CancelledRequests {
 public:
  void Mark(const Json& id) {
    const MutexLock lock(mutex_);
    ids_.insert(id.dump());
  }
  void Unmark(const Json& id) {
    const MutexLock lock(mutex_);
    ids_.erase(id.dump());
  }
  bool Contains(const Json& id) const {
    const MutexLock lock(mutex_);
    return ids_.contains(id.dump());
  }

 private:
  mutable Mutex mutex_;
  std::set<std::string> ids_ GUARDED_BY(mutex_);
};

// The id a message cancels, when it is a well-formed $/cancelRequest; null otherwise.
inline Json CancelledId(const Incoming& incoming) {
  if (incoming.kind != Incoming::Kind::Message || !incoming.message.is_object()) return nullptr;
  const Json& message = incoming.message;
  if (!message.contains("method") || message["method"] != "$/cancelRequest" || !message.contains("params")) return nullptr;
  const Json& params = message["params"];
  if (!params.is_object() || !params.contains("id")) return nullptr;
  const Json& id = params["id"];
  return id.is_string() || id.is_number_integer() ? id : Json();
}

}  // namespace quillshade::qsd::lsp
