// Fuzz target: qsd graph on an arbitrary story text.
#include <cstddef>
#include <cstdint>

#include "fuzz/story_text.h"
#include "tools/qsd/lib/graph.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string dot = quillshade::qsd::StoryGraphDot(quillshade::fuzz::StoryTextOf(data, size), "fuzz \"story\"");
  // The graph is one digraph, closed at its end.
  if (dot.rfind("digraph", 0) != 0 || dot.find_last_not_of("\n") == std::string::npos ||
      dot[dot.find_last_not_of("\n")] != '}')
    __builtin_trap();
  return 0;
}
