// The graph of a story: builds the dot text from the story's lines.
#include "tools/qsd/lib/graph.h"

#include <cstdio>
#include <future>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "story/choice.h"
#include "story/label_index.h"
#include "story/text.h"
#include "story/utf8.h"
#include "tools/qsd/lib/background.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/platform.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/walk.h"

namespace quillshade::qsd {
namespace {

// Text for a double-quoted dot string, appended: quotes and backslashes escaped, lines as \n.
void AppendDotText(std::string& out, std::string_view utf8) {
  for (const char c : utf8) {
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
}

std::string DotText(std::string_view utf8) {
  std::string out;
  AppendDotText(out, utf8);
  return out;
}

// Story text as a message quotes it, without the quotes.
std::string Shown(std::u16string_view text, std::size_t maxCharacters = 36) {
  return PrintableText(text, ControlCharacters::Escaped, maxCharacters);
}

// About what a node and its edges take in the dot text, to reserve it at once.
constexpr std::size_t kBytesPerNode = 160;

struct Node {
  std::size_t first = 0;
  std::size_t last = 0;
};

// The line each label of the story leads to, 0 when none does (or when that line is
// never shown); labels are views into the text.
using LabelLines = std::unordered_map<std::u16string_view, std::size_t>;

// Each label the line leads to, with the attributes of the edge that draws it: the
// answers of a choice, or a jump (a jump on a flag as two edges, set and not set).
void ForEachLabelExit(const ScriptLine& parts, const auto& visit) {
  const LineExits exits = ExitsOf(parts, 0);
  if (exits.choosing) {
    for (std::size_t key = 0; key < kChoiceKeyCount; ++key)
      if (const std::u16string_view label = exits.choices[key]; !label.empty())
        visit(label, "label=\"" + std::to_string(key + 1) + ": " + DotText(Shown(label, 20)) + "\"");
    return;
  }
  if (exits.down != Flow::Jump) return;
  if (exits.testedFlag == kFlagCount) {
    visit(exits.target, "style=bold");
    return;
  }
  const std::string flag(1, static_cast<char>(kFlagLetters[exits.testedFlag]));
  visit(ExitsOf(parts, static_cast<FlagBits>(1u << exits.testedFlag)).target,
        "style=bold, label=\"" + flag + " true\"");
  visit(exits.target, "style=bold, label=\"" + flag + " false\"");
}

// A node begins at every line a label leads to and at the line after every node, so
// the line itself names its node; a line past the drawn nodes is left out.
std::string NodeAt(const std::vector<Node>& nodes, std::size_t line) {
  if (!nodes.empty() && line > nodes.back().last) return "more";
  return "n" + std::to_string(line);
}

// The edges of a graph, and what they drew on beside the nodes.
struct Edges {
  std::string text;
  bool usedEnd = false;
  bool usedStop = false;
  std::map<std::u16string_view, std::string> missing;  // node id of each label no line begins with
};

void AddEdge(const Node& from, const std::string& to, const std::string& attributes, std::string& edges) {
  edges += "  n";
  edges += std::to_string(from.first);
  edges += " -> ";
  edges += to;
  if (!attributes.empty()) {
    edges += " [";
    edges += attributes;
    edges += "]";
  }
  edges += ";\n";
}

// The edges out of every node. Every label they name was looked up while the entries
// were marked, so this only reads what it is given, and may run beside the writing of
// the nodes.
Edges BuildEdges(const StoryLines& lines, const std::vector<Node>& nodes, const LabelLines& labelLines) {
  Edges edges;
  const auto target = [&](std::u16string_view label) {
    if (const std::size_t line = labelLines.at(label); line != 0) return NodeAt(nodes, line);
    return edges.missing.emplace(label, "missing" + std::to_string(edges.missing.size() + 1)).first->second;
  };
  for (const Node& node : nodes) {
    const ScriptLine parts = SplitScriptLine(lines.Text(node.last));
    const LineExits exits = ExitsOf(parts, 0);
    if (exits.choosing || exits.down == Flow::Jump) {
      ForEachLabelExit(parts, [&](std::u16string_view label, const std::string& attributes) {
        AddEdge(node, target(label), attributes, edges.text);
      });
    } else if (exits.down == Flow::End) {
      edges.usedEnd = true;
      AddEdge(node, "end", "", edges.text);
    } else if (const std::size_t next = node.last + 1; next <= lines.Count() && lines.Terminated(next)) {
      AddEdge(node, NodeAt(nodes, next), "", edges.text);
    } else {
      edges.usedStop = true;
      AddEdge(node, "stop", "", edges.text);
    }
  }
  return edges;
}

// The parts of a line are worked out again where they are needed rather than kept for
// every line: a story of millions of lines would otherwise hold hundreds of bytes a line.
class GraphBuilder {
 public:
  // The label index is built on a second thread while the lines are found.
  GraphBuilder(std::u16string_view text, std::size_t nodeLimit, Threads threads)
      : text_(text),
        indexBuilt_(InBackground([text] { return std::make_unique<const LabelIndex>(text); }, threads)),
        lines_(text),
        nodeLimit_(nodeLimit),
        threads_(threads) {}

  StoryGraph Build(std::string_view title) {
    // The walk says which lines the reader reaches, and the keys to each END; it runs
    // while the nodes are found, on what no one changes.
    if (!index_) index_ = indexBuilt_.get();
    std::future<WalkResult> walked = InBackground(
        [text = text_, &lines = std::as_const(lines_), &index = std::as_const(*index_)] {
          return WalkStoryLines(text, lines, index, kDefaultMaxStates, kDefaultMaxScan, nullptr);
        },
        threads_);
    // What each label leads to is settled here, whole, before the edges' thread reads it.
    const auto labelLines = std::make_shared<const LabelLines>(MarkEntries());
    FoldNodes();
    walk_ = walked.get();
    KeysToEnds();

    std::string out;
    out.reserve(kBytesPerNode * nodes_.size());  // one allocation for most graphs
    out = "digraph story {\n";
    out += "  graph [label=\"" + DotText(title) + "\", labelloc=t, rankdir=TB, fontname=\"sans-serif\"];\n";
    out += "  node [shape=box, style=rounded, fontname=\"sans-serif\", fontsize=10];\n";
    out += "  edge [fontname=\"sans-serif\", fontsize=9];\n";
    // Written piece by piece: a graph may have a hundred thousand nodes. The edges, which
    // follow all the nodes, are made on a second thread meanwhile, from what no one
    // changes any more.
    std::future<Edges> edgesMade = InBackground(
        [&lines = std::as_const(lines_), &nodes = std::as_const(nodes_), labelLines] {
          return BuildEdges(lines, nodes, *labelLines);
        },
        threads_);
    for (const Node& node : nodes_) {
      const ScriptLine parts = Parts(node.first);
      std::optional<ScriptLine> ownLast;
      const ScriptLine& lastParts = node.last == node.first ? parts : ownLast.emplace(Parts(node.last));
      out += "  n";
      out += std::to_string(node.first);
      out += " [label=\"";
      AppendNodeLabel(node, parts, lastParts, out);
      out += "\"";
      AppendReach(node, out);
      out += "];\n";
    }
    const Edges edges = edgesMade.get();
    out += edges.text;
    if (edges.usedEnd) out += "  end [shape=doublecircle, label=\"END\"];\n";
    if (edges.usedStop) out += "  stop [shape=circle, label=\"end of\\ntext\"];\n";
    if (leftOut_.nodes > 0)
      out += "  more [shape=note, color=gray, label=\"" + std::to_string(leftOut_.nodes) + " more nodes\\n(" +
             std::to_string(leftOut_.lines) + " lines)\\nleft out\"];\n";
    for (const auto& [label, id] : edges.missing)
      out += "  " + id + " [shape=box, style=dashed, color=red, label=\"" + NoLineText(label) + "\"];\n";
    out += "}\n";
    return StoryGraph{std::move(out), leftOut_};
  }

 private:
  ScriptLine Parts(std::size_t line) const { return SplitScriptLine(lines_.Text(line)); }

  // The line a label leads to, 0 when none does (or when that line is never shown).
  std::size_t LabelLine(std::u16string_view label, LabelLines& labelLines) {
    // Each label is looked up once: the nodes' edges ask again for what marking the
    // entries found.
    const auto [known, added] = labelLines.try_emplace(label, 0);
    if (!added) return known->second;
    if (!index_) index_ = indexBuilt_.get();
    const std::int32_t at = index_->Find(label).first;
    if (ReachOf(text_, at) != LabelReach::Shown) return 0;
    return known->second = lines_.LineAfterBreak(at);
  }

  // Why a label leads to no line drawn: none begins with it, or the one that does is
  // the unbroken last line, where reading stops without showing it.
  std::string NoLineText(std::u16string_view label) const {
    const std::int32_t at = index_->Find(label).first;
    if (ReachOf(text_, at) != LabelReach::Unbroken) return "no line begins with\\n" + DotText(Quote(label));
    return "line " + std::to_string(lines_.LineAfterBreak(at)) + " begins with\\n" + DotText(Quote(label)) +
           "\\nbut has no line break after it";
  }

  // Lines no state reaches are grey and dashed; a line that ends the story carries the
  // keys that reach its END. Without a complete walk nothing is known, so nothing is drawn.
  void AppendReach(const Node& node, std::string& out) const {
    if (!walk_.complete) return;
    bool reached = false;
    for (std::size_t line = node.first; line <= node.last && !reached; ++line) reached = walk_.lineReached[line];
    if (!reached) {
      out += ", style=\"rounded,dashed\", color=gray, fontcolor=gray";
      return;
    }
    const auto keys = endKeys_.find(node.last);
    if (keys != endKeys_.end())
      out += ", tooltip=\"" + (keys->second.empty() ? std::string("END as the story loads") : "END by the keys " + keys->second) + "\"";
  }

  // The shortest keys to each line's END.
  void KeysToEnds() {
    for (const StopFound& stop : walk_.stops) {
      if (stop.kind != StopKind::End) continue;
      const StopPlace place = ExplainStop(text_, lines_, stop);
      std::string keys = WayInOf(walk_, stop.step).keys;
      const auto [known, added] = endKeys_.try_emplace(place.line, keys);
      if (!added && keys.size() < known->second.size()) known->second = std::move(keys);
    }
  }

  // Which lines a label leads to, and which lines only show their text: a bit each, so
  // that every line is split only once here. Answers the line of every label a line
  // leads to.
  LabelLines MarkEntries() {
    LabelLines labelLines;
    entry_.assign(lines_.Count() + 2, false);
    plain_.assign(lines_.Count() + 2, false);
    entry_[1] = true;
    for (std::size_t line = 1; line <= lines_.Count(); ++line) {
      if (!lines_.Terminated(line)) continue;
      if (IsPlainLine(lines_.Text(line))) {
        plain_[line] = true;
        continue;
      }
      const ScriptLine parts = Parts(line);
      plain_[line] = parts.OnlyShows();
      ForEachLabelExit(parts, [&](std::u16string_view label, const std::string&) {
        entry_[LabelLine(label, labelLines)] = true;
      });
    }
    return labelLines;
  }

  // Runs of lines that only show their text fold into one node, up to the node limit;
  // the nodes after it are only counted.
  void FoldNodes() {
    for (std::size_t line = 1; line <= lines_.Count() && lines_.Terminated(line);) {
      Node node{line, line};
      while (node.last + 1 <= lines_.Count() && lines_.Terminated(node.last + 1) && !entry_[node.last + 1] &&
             plain_[node.last])
        ++node.last;
      if (nodes_.size() < nodeLimit_) {
        nodes_.push_back(node);
      } else {
        ++leftOut_.nodes;
        leftOut_.lines += node.last - node.first + 1;
      }
      line = node.last + 1;
    }
  }

  static void AppendNodeLabel(const Node& node, const ScriptLine& parts, const ScriptLine& lastParts, std::string& out) {
    // The first line as the reader sees it, with its hidden prefix, which labels often
    // are; of a node of several lines it only shows its text.
    std::u16string first(parts.prefix.text);
    const std::u16string_view shown = parts.Showing().text;
    if (!first.empty() && !shown.empty()) first += u' ';
    first += shown;
    out += std::to_string(node.first);
    out += ": ";
    AppendDotText(out, Shown(first));
    if (node.last > node.first)
      out += "\\n(+" + std::to_string(node.last - node.first) + (node.last - node.first == 1 ? " line)" : " lines)");
    if (lastParts.commandsAt != kAbsent) {
      out += "\\n:: ";
      AppendDotText(out, Shown(lastParts.commands.text, 24));
    }
  }

  std::u16string_view text_;
  std::future<std::unique_ptr<const LabelIndex>> indexBuilt_;
  StoryLines lines_;
  std::unique_ptr<const LabelIndex> index_;  // answers as FindLabelLine does, without reading the text per label
  std::size_t nodeLimit_;
  Threads threads_;
  std::vector<bool> entry_;
  std::vector<bool> plain_;
  std::vector<Node> nodes_;
  GraphLeftOut leftOut_;
  WalkResult walk_;
  std::unordered_map<std::size_t, std::string> endKeys_;  // by line
};

}  // namespace


StoryGraph BuildStoryGraph(std::u16string_view text, std::string_view title, std::size_t nodeLimit, Threads threads) {
  return GraphBuilder(text, nodeLimit, threads).Build(title);
}

std::string StoryGraphDot(std::u16string_view text, std::string_view title) {
  return BuildStoryGraph(text, title, kGraphNodeLimit).dot;
}

}  // namespace quillshade::qsd
