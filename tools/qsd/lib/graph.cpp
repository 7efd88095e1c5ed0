// The graph of a story: builds the dot text from the story's lines; svg through Graphviz's dot.
#include "tools/qsd/lib/graph.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <unordered_map>
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

#ifndef _WIN32
extern char** environ;
#endif

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

// The parts of a line are worked out again where they are needed rather than kept for
// every line: a story of millions of lines would otherwise hold hundreds of bytes a line.
class GraphBuilder {
 public:
  // The label index is built on a second thread while the lines are found.
  GraphBuilder(std::u16string_view text, std::size_t nodeLimit)
      : text_(text),
        indexBuilt_(InBackground([text] { return std::make_unique<const LabelIndex>(text); })),
        lines_(text),
        nodeLimit_(nodeLimit) {}

  StoryGraph Build(std::string_view title) {
    // The walk says which lines the reader reaches, and the keys to each END; it runs
    // while the nodes are found.
    if (!index_) index_ = indexBuilt_.get();
    std::future<WalkResult> walked = InBackground([this] {
      return WalkStoryLines(text_, lines_, *index_, kDefaultMaxStates, kDefaultMaxScan, nullptr);
    });
    MarkEntries();
    FoldNodes();
    walk_ = walked.get();
    KeysToEnds();

    out_.reserve(kBytesPerNode * nodes_.size());  // one allocation for most graphs
    out_ = "digraph story {\n";
    out_ += "  graph [label=\"" + DotText(title) + "\", labelloc=t, rankdir=TB, fontname=\"sans-serif\"];\n";
    out_ += "  node [shape=box, style=rounded, fontname=\"sans-serif\", fontsize=10];\n";
    out_ += "  edge [fontname=\"sans-serif\", fontsize=9];\n";
    // Written piece by piece: a graph may have a hundred thousand nodes. The edges, which
    // follow all the nodes, are written on a second thread meanwhile; every label they
    // name was looked up while the entries were marked.
    std::future<std::string> edges = InBackground([this] {
      std::string text;
      for (const Node& node : nodes_) AddExits(node, Parts(node.last), text);
      return text;
    });
    for (const Node& node : nodes_) {
      const ScriptLine parts = Parts(node.first);
      std::optional<ScriptLine> ownLast;
      const ScriptLine& lastParts = node.last == node.first ? parts : ownLast.emplace(Parts(node.last));
      out_ += "  n";
      out_ += std::to_string(node.first);
      out_ += " [label=\"";
      AppendNodeLabel(node, parts, lastParts);
      out_ += "\"";
      AppendReach(node);
      out_ += "];\n";
    }
    out_ += edges.get();
    if (usedEnd_) out_ += "  end [shape=doublecircle, label=\"END\"];\n";
    if (usedStop_) out_ += "  stop [shape=circle, label=\"end of\\ntext\"];\n";
    if (leftOut_.nodes > 0)
      out_ += "  more [shape=note, color=gray, label=\"" + std::to_string(leftOut_.nodes) + " more nodes\\n(" +
              std::to_string(leftOut_.lines) + " lines)\\nleft out\"];\n";
    for (const auto& [label, id] : missing_)
      out_ += "  " + id + " [shape=box, style=dashed, color=red, label=\"no line begins with\\n" +
              DotText(Quote(label)) + "\"];\n";
    out_ += "}\n";
    return StoryGraph{std::move(out_), leftOut_};
  }

 private:
  static bool Plain(const ScriptLine& parts) {
    return !parts.HasJump() && parts.choiceAt == kAbsent && parts.commandsAt == kAbsent;
  }
  ScriptLine Parts(std::size_t line) const { return SplitScriptLine(lines_.Text(line)); }

  // The line a label leads to, 0 when none does (or when that line is never shown).
  std::size_t LabelLine(std::u16string_view label) {
    // Each label is looked up once: the nodes' edges ask again for what marking the
    // entries found.
    const auto [known, added] = labelLines_.try_emplace(label, 0);
    if (!added) return known->second;
    if (!index_) index_ = indexBuilt_.get();
    const std::int32_t at = index_->Find(label).first;
    if (at == 0) return 0;
    const std::size_t line = lines_.LineAfterBreak(at);
    return known->second = lines_.Terminated(line) ? line : 0;
  }

  // Each label the line leads to, with the attributes of the edge that draws it: the
  // answers of a choice, or a jump (a jump on a flag as two edges, set and not set).
  static void ForEachLabelExit(const ScriptLine& parts, const auto& visit) {
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

  // Which lines a label leads to, and which lines are plain: a bit each, so that every
  // line is split only once here.
  void MarkEntries() {
    entry_.assign(lines_.Count() + 2, false);
    plain_.assign(lines_.Count() + 2, false);
    entry_[1] = true;
    for (std::size_t line = 1; line <= lines_.Count(); ++line) {
      if (!lines_.Terminated(line)) continue;
      if (IsPlainLine(lines_.Text(line))) {  // no exit but the next line, and no commands
        plain_[line] = true;
        continue;
      }
      const ScriptLine parts = Parts(line);
      plain_[line] = Plain(parts);
      ForEachLabelExit(parts, [&](std::u16string_view label, const std::string&) { entry_[LabelLine(label)] = true; });
    }
  }

  // Runs of plain lines fold into one node, up to the node limit; the nodes after it
  // are only counted.
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

  void AppendNodeLabel(const Node& node, const ScriptLine& parts, const ScriptLine& lastParts) {
    const bool ends = lastParts.Ends();
    // The first line as the reader sees it, with its hidden prefix, which labels often are.
    std::u16string first(parts.prefix.text);
    const std::u16string_view shown = (node.first == node.last && ends ? parts.shownWithJump : parts.shown).text;
    if (!first.empty() && !shown.empty()) first += u' ';
    first += shown;
    out_ += std::to_string(node.first);
    out_ += ": ";
    AppendDotText(out_, Shown(first));
    if (node.last > node.first)
      out_ += "\\n(+" + std::to_string(node.last - node.first) + (node.last - node.first == 1 ? " line)" : " lines)");
    if (lastParts.commandsAt != kAbsent) {
      out_ += "\\n:: ";
      AppendDotText(out_, Shown(lastParts.commands.text, 24));
    }
  }

  // Lines no state reaches are grey and dashed; a line that ends the story carries the
  // keys that reach its END. Without a complete walk nothing is known, so nothing is drawn.
  void AppendReach(const Node& node) {
    if (!walk_.complete) return;
    bool reached = false;
    for (std::size_t line = node.first; line <= node.last && !reached; ++line) reached = walk_.lineReached[line];
    if (!reached) {
      out_ += ", style=\"rounded,dashed\", color=gray, fontcolor=gray";
      return;
    }
    const auto keys = endKeys_.find(node.last);
    if (keys != endKeys_.end())
      out_ += ", tooltip=\"" + (keys->second.empty() ? std::string("END as the story loads") : "END by the keys " + keys->second) + "\"";
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

  // A node begins at every line a label leads to and at the line after every node, so
  // the line itself names its node; a line past the drawn nodes is left out.
  std::string NodeAt(std::size_t line) const {
    if (!nodes_.empty() && line > nodes_.back().last) return "more";
    return "n" + std::to_string(line);
  }

  std::string Target(std::u16string_view label) {
    const std::size_t line = LabelLine(label);
    if (line != 0) return NodeAt(line);
    auto [it, added] = missing_.emplace(label, "missing" + std::to_string(missing_.size() + 1));
    return it->second;
  }

  static void Edge(const Node& from, const std::string& to, const std::string& attributes, std::string& edges) {
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

  void AddExits(const Node& node, const ScriptLine& parts, std::string& edges) {
    const LineExits exits = ExitsOf(parts, 0);
    if (exits.choosing || exits.down == Flow::Jump) {
      ForEachLabelExit(parts, [&](std::u16string_view label, const std::string& attributes) {
        Edge(node, Target(label), attributes, edges);
      });
      return;
    }
    if (exits.down == Flow::End) {
      usedEnd_ = true;
      Edge(node, "end", "", edges);
      return;
    }
    const std::size_t next = node.last + 1;
    if (next <= lines_.Count() && lines_.Terminated(next)) {
      Edge(node, NodeAt(next), "", edges);
    } else {
      usedStop_ = true;
      Edge(node, "stop", "", edges);
    }
  }

  std::u16string_view text_;
  std::future<std::unique_ptr<const LabelIndex>> indexBuilt_;
  StoryLines lines_;
  std::unique_ptr<const LabelIndex> index_;  // answers as FindLabelLine does, without reading the text per label
  std::unordered_map<std::u16string_view, std::size_t> labelLines_;  // labels are views into the text
  std::size_t nodeLimit_;
  std::vector<bool> entry_;
  std::vector<bool> plain_;
  std::vector<Node> nodes_;
  GraphLeftOut leftOut_;
  std::map<std::u16string_view, std::string> missing_;  // labels are views into the text
  WalkResult walk_;
  std::unordered_map<std::size_t, std::string> endKeys_;  // by line
  bool usedEnd_ = false;
  bool usedStop_ = false;
  std::string out_;
};

Rendered Failure(std::string why) { return Rendered{{}, std::move(why)}; }

}  // namespace

#ifdef _WIN32
Rendered RenderSvg(const std::string& dot) {
  namespace fs = std::filesystem;
  std::error_code error;
  const std::wstring folder = fs::temp_directory_path(error).wstring();
  wchar_t input[MAX_PATH + 1] = {};
  wchar_t output[MAX_PATH + 1] = {};
  // Both names are made unique by creating the files here; dot overwrites them.
  if (!GetTempFileNameW(folder.c_str(), L"qsd", 0, input) || !GetTempFileNameW(folder.c_str(), L"qsd", 0, output)) {
    DeleteFileW(input);
    return Failure("cannot create a temporary file");
  }
  struct Cleanup {
    const wchar_t* a;
    const wchar_t* b;
    ~Cleanup() {
      DeleteFileW(a);
      DeleteFileW(b);
    }
  } cleanup{input, output};
  if (const auto problem = WriteOutput(Utf8FromPath(input), dot)) return Failure("cannot write a temporary file: " + *problem);
  // The spawned command line is the arguments joined by spaces, so paths are quoted.
  const std::wstring quotedInput = L"\"" + std::wstring(input) + L"\"";
  const std::wstring quotedOutput = L"\"" + std::wstring(output) + L"\"";
  const wchar_t* argv[] = {L"dot", L"-Tsvg", L"-o", quotedOutput.c_str(), quotedInput.c_str(), nullptr};
  const intptr_t status = _wspawnvp(_P_WAIT, L"dot", argv);
  if (status == -1 && errno == ENOENT)
    return Failure(std::string("--format svg needs Graphviz's `dot` program, which is not installed (or not on PATH); "
                               "install graphviz, or use --format dot"));
  if (status == -1) return Failure(std::string("cannot run `dot`: ") + std::strerror(errno));
  if (status != 0) return Failure(std::string("`dot` failed to draw the graph"));
  InputFile svg = ReadInput(Utf8FromPath(output));
  if (svg.error) return Failure("cannot read what `dot` drew: " + *svg.error);
  return Rendered{std::move(svg.bytes), std::nullopt};
}
#else
Rendered RenderSvg(const std::string& dot) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path folder = fs::temp_directory_path(error);
  std::string input = (folder / "qsd-graph-XXXXXX").string();
  std::string output = (folder / "qsd-graph-XXXXXX.svg").string();
  // Both names are made unique and safe by creating the files here; dot overwrites them.
  const int inputFd = ::mkstemp(input.data());
  if (inputFd < 0) return Failure(std::string("cannot create a temporary file: ") + std::strerror(errno));
  ::close(inputFd);
  const int outputFd = ::mkstemps(output.data(), 4);
  if (outputFd < 0) {
    ::unlink(input.c_str());
    return Failure(std::string("cannot create a temporary file: ") + std::strerror(errno));
  }
  ::close(outputFd);
  struct Cleanup {
    std::string a, b;
    ~Cleanup() {
      ::unlink(a.c_str());
      ::unlink(b.c_str());
    }
  } cleanup{input, output};
  if (const auto problem = WriteOutput(input, dot)) return Failure("cannot write a temporary file: " + *problem);

  std::vector<std::string> words{"dot", "-Tsvg", "-o", output, input};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, "dot", nullptr, nullptr, argv.data(), environ);
  if (spawned == ENOENT)
    return Failure(std::string("--format svg needs Graphviz's `dot` program, which is not installed (or not on PATH); "
                       "install graphviz, or use --format dot"));
  if (spawned != 0) return Failure(std::string("cannot run `dot`: ") + std::strerror(spawned));
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return Failure(std::string("lost track of `dot`: ") + std::strerror(errno));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Failure(std::string("`dot` failed to draw the graph"));
  InputFile svg = ReadInput(output);
  if (svg.error) return Failure("cannot read what `dot` drew: " + *svg.error);
  return Rendered{std::move(svg.bytes), std::nullopt};
}
#endif

StoryGraph BuildStoryGraph(std::u16string_view text, std::string_view title, std::size_t nodeLimit) {
  return GraphBuilder(text, nodeLimit).Build(title);
}

std::string StoryGraphDot(std::u16string_view text, std::string_view title) {
  return BuildStoryGraph(text, title, kGraphNodeLimit).dot;
}

}  // namespace quillshade::qsd
