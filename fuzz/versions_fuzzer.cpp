// Fuzz target: a sequence of versions of a story sent to the editor service as an editor
// sends them, each settled version's answers compared with a fresh server's; the input's
// bytes make every random choice. A difference stops the run with the version that shows it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/tools/lsp/version_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillshade::qsd::lsp;
  std::size_t at = 0;
  // Two bytes a choice; past the input's end every choice is the first.
  const Pick pick = [&](std::size_t count) -> std::size_t {
    if (count == 0 || at + 2 > size) return 0;
    const std::size_t value = data[at] | (std::size_t{data[at + 1]} << 8);
    at += 2;
    return value % count;
  };
  // Now and then a story over the line count whose line checks are published first.
  const std::size_t lines = pick(16) == 0 ? kLineChecksFirstAbove + 1 + pick(200) : 3 + pick(60);
  const std::string differs = CompareVersions(pick, lines, 1 + pick(30));
  if (!differs.empty()) {
    std::fprintf(stderr, "%s\n", differs.c_str());
    __builtin_trap();
  }
  return 0;
}
