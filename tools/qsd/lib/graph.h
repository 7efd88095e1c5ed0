// qsd graph: a story's flow as a Graphviz graph.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillshade::qsd {

// The graph in the dot language: runs of plain lines folded into one node that shows
// the first of them, and edges for reading on, jumps (a jump on a flag as two edges,
// "A true" and "A false"), choices (labelled with their keys and labels) and END.
std::string StoryGraphDot(std::u16string_view text, std::string_view title);

// The graph drawn as svg by Graphviz's `dot` program, run on a temporary file; or why
// it could not be drawn (no `dot` installed, among others).
struct Rendered {
  std::string svg;
  std::optional<std::string> error;
};

Rendered RenderSvg(const std::string& dot);

}  // namespace quillshade::qsd
