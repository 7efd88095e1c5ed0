// Work begun on a second thread, for the commands that can do two things at once.
#pragma once

#include <future>
#include <system_error>

namespace quillshade::qsd {

// Whether a command may start a second thread for work it can do beside its own; One
// runs that work on the caller's thread when its result is asked for.
enum class Threads { Two, One };

// Starts the work on a thread of its own; with Threads::One, or when no thread can be
// had, the work runs on the caller's thread once its result is asked for. The future
// waits for the work when it is destroyed, so the work may use what the caller holds
// until then, but nothing that the caller changes meanwhile.
template <typename Work>
auto InBackground(const Work& work, Threads threads = Threads::Two) {
  if (threads == Threads::Two) {
    try {
      return std::async(std::launch::async, work);
    } catch (const std::system_error&) {
    }
  }
  return std::async(std::launch::deferred, work);
}

}  // namespace quillshade::qsd
