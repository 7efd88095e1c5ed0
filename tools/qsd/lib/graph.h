// qsd graph: a story's flow as a Graphviz graph.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tools/qsd/lib/background.h"

namespace quillshade::qsd {

// A story of millions of lines would make a graph many times its own size, more than
// Graphviz lays out in any time a writer would wait: a graph stops after this many nodes
// (some ten times what a 10 MB story makes), and the lines after them are counted instead.
inline constexpr std::size_t kGraphNodeLimit = 100000;

// What a graph stopped at its node limit left out; both 0 when it shows the whole story.
struct GraphLeftOut {
  std::size_t nodes = 0;
  std::size_t lines = 0;
};

struct StoryGraph {
  std::string dot;
  GraphLeftOut leftOut;
};

// The graph in the dot language: runs of plain lines folded into one node that shows
// the first of them, and edges for reading on, jumps (a jump on a flag as two edges,
// "A true" and "A false"), choices (labelled with their keys and labels) and END.
// Past `nodeLimit` nodes, edges into the lines left out go to one node, "more", that
// counts them.
// The label index and the edges are made on second threads unless `threads` says One.
StoryGraph BuildStoryGraph(std::u16string_view text, std::string_view title, std::size_t nodeLimit = kGraphNodeLimit,
                           Threads threads = Threads::Two);
std::string StoryGraphDot(std::u16string_view text, std::string_view title);

}  // namespace quillshade::qsd
