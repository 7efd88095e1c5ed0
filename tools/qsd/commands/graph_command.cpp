// qsd graph: reads its options and the story, writes the graph as dot or svg.
#include <cstdio>
#include <filesystem>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/graph.h"
#include "tools/qsd/lib/platform.h"
#include "tools/qsd/lib/story_loader.h"

namespace quillshade::qsd {

const Command kGraphCommand{
    "graph",
    "draw a story's flow as a Graphviz graph (dot or svg)",
    "usage: qsd graph [--format dot|svg] [--from utf-8|cp932] FILE [-o OUT]\n"
    "\n"
    "Draws the flow of a story file or its text source: runs of plain lines fold into\n"
    "one node showing the first of them; edges show reading on, jumps (a jump on a\n"
    "flag as two edges, 'A true' and 'A false'), choices (their keys and labels), END.\n"
    "A graph stops after 100000 nodes: the rest is counted, on stderr and in a node\n"
    "'more' that the edges into it lead to. Writes to OUT, or to stdout without -o.\n"
    "\n"
    "  --format dot   the graph in Graphviz's dot language (the default)\n"
    "  --format svg   a picture, drawn by Graphviz's `dot` program, which must be\n"
    "                 installed (Debian: apt-get install graphviz)\n"
    "  --from ENCODING  encoding of a text source: utf-8 (default) or cp932\n"
    "\n"
    "Exit status: 0 done, 1 an unreadable FILE or no `dot` for svg, 2 wrong arguments.\n",
    RunGraph,
};

int RunGraph(const Arguments& args) {
  std::string format = "dot";
  std::string output = "-";
  SourceEncoding encoding = SourceEncoding::Utf8;
  std::string path;
  const std::vector<Option> options{
      ValueOption({"--format"}, "--format needs dot or svg",
                  [&format](const std::string& value) {
                    if (value != "dot" && value != "svg") return false;
                    format = value;
                    return true;
                  }),
      OutputOption(output),
      EncodingOption("--from", encoding),
  };
  if (const auto status = ReadArguments(kGraphCommand, args, options, path, "FILE")) return *status;

  const Result<AnyStory> read = ReadStoryOrSource(path, encoding);
  const std::string shownName = DisplayName(path);
  if (!read.ok()) {
    std::fprintf(stderr, "qsd graph: %s: %s\n", shownName.c_str(), read.error().message.c_str());
    return kExitFailed;
  }
  const AnyStory& story = read.value();
  for (const SourceNote& note : story.notes) std::fprintf(stderr, "%s\n", FormatSourceNote(shownName, note).c_str());
  if (story.text.empty()) return kExitFailed;
  const std::string name = Utf8FromPath(PathFromUtf8(path).filename());
  StoryGraph graph = BuildStoryGraph(story.text, path == "-" ? "story" : name);
  if (graph.leftOut.nodes > 0)
    std::fprintf(stderr, "qsd graph: %s: the graph stops after %zu nodes; %zu more nodes (%zu lines) are left out\n",
                 shownName.c_str(), kGraphNodeLimit, graph.leftOut.nodes, graph.leftOut.lines);
  std::string result = std::move(graph.dot);
  if (format == "svg") {
    Result<std::string> svg = RenderSvg(result);
    if (!svg.ok()) {
      std::fprintf(stderr, "qsd graph: %s\n", svg.error().message.c_str());
      return kExitFailed;
    }
    result = std::move(svg).value();
  }
  if (const Result<void> written = WriteOutput(output, result); !written.ok()) {
    std::fprintf(stderr, "qsd graph: %s: %s\n", output.c_str(), written.error().message.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace quillshade::qsd
