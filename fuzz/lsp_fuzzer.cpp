// Fuzz target: the language server fed arbitrary bytes, read and dispatched as they
// are from stdin, with every diagnosis run at once rather than on the worker.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/qsd/lsp/server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillshade::qsd::lsp;
  using quillshade::qsd::Json;
  std::vector<DiagnosisJob> jobs;
  std::size_t sent = 0;
  Server server(ServerPorts{
      [&sent](const Json& message) { sent += message.dump(-1, ' ', false, Json::error_handler_t::replace).size(); },
      [](std::string_view) {},
      [&jobs](DiagnosisJob job) { jobs.push_back(std::move(job)); },
      [](const Json&) { return false; },
  });
  MessageReader reader(std::string(reinterpret_cast<const char*>(data), size));
  while (!server.Exited()) {
    server.Handle(reader.Read());
    // A job may post no further job, so this ends.
    std::vector<DiagnosisJob> posted = std::move(jobs);
    jobs.clear();
    for (const DiagnosisJob& job : posted) server.Diagnosed(Diagnose(job));
  }
  if (server.ExitStatus() != 0 && server.ExitStatus() != 1) __builtin_trap();
  return 0;
}
