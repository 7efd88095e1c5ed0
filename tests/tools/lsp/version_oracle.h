// Versions of a story sent to the editor service as an editor sends them, each settled
// version compared with what a server that was given only its text answers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "story/utf8.h"
#include "tools/qsd/lsp/diagnosis.h"
#include "tools/qsd/lsp/documents.h"
#include "tools/qsd/lsp/server.h"

namespace quillshade::qsd::lsp {

// A server whose diagnosis worker runs in the caller's thread when it settles: as on the
// worker, a newer job for a document stops its pending one, and each document's line
// checks carry over to its next version.
class LocalServer {
 public:
  explicit LocalServer(std::size_t width) {
    Request("initialize", {{"capabilities", Json::object()}, {"initializationOptions", {{"width", width}}}});
    Notify("initialized", nullptr);
  }
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  void Notify(const char* method, Json params) {
    server_.Handle(Incoming{Incoming::Kind::Message, {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}}, {}});
  }
  // The answer, once every job it waits for has run.
  Json Request(const char* method, Json params) {
    const int id = ++lastId_;
    server_.Handle(Incoming{
        Incoming::Kind::Message, {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}}, {}});
    Settle();
    const auto answer = answers_.find(id);
    if (answer == answers_.end()) return "no answer";
    const Json result = answer->second.contains("result") ? answer->second["result"] : answer->second;
    answers_.erase(answer);
    return result;
  }
  void Settle() {
    while (!jobs_.empty()) {
      DiagnosisJob job = std::move(jobs_.front());
      jobs_.pop_front();
      runner_.Run(std::move(job), [this](DiagnosisResult result) { server_.Diagnosed(std::move(result)); });
    }
  }
  // What was last published for the document.
  Json Published(const std::string& uri) const {
    const auto found = published_.find(uri);
    return found == published_.end() ? Json() : found->second;
  }

 private:
  void Sent(const Json& message) {
    if (message.contains("id")) answers_[message["id"].get<int>()] = message;
    else if (message.value("method", "") == "textDocument/publishDiagnostics")
      published_[message["params"]["uri"].get<std::string>()] = message["params"]["diagnostics"];
  }

  std::map<int, Json> answers_;
  std::map<std::string, Json> published_;
  std::deque<DiagnosisJob> jobs_;
  DiagnosisRunner runner_;
  int lastId_ = 0;
  Server server_{ServerPorts{
      [this](const Json& message) { Sent(message); },
      {},
      [this](DiagnosisJob job) {
        for (DiagnosisJob& pending : jobs_)
          if (pending.uri == job.uri && !SameWork(pending, job)) *pending.stop = true;
        jobs_.push_back(std::move(job));
      },
      {},
  }};
};

// The random choices of a sequence: a number below `count`.
using Pick = std::function<std::size_t(std::size_t count)>;

// A line of a story, made of the parts that make lines depend on one another: labels
// that answers and jumps find, choices whose answers read on, flags, wide lines.
inline std::u16string RandomLine(const Pick& pick) {
  static constexpr std::u16string_view kLabels[] = {u"a", u"b", u"go", u"gone", u"x"};
  const auto label = [&] { return std::u16string(kLabels[pick(std::size(kLabels))]); };
  switch (pick(20)) {
    case 16:
    case 17:
    case 18:  // a choice whose first answer reads on into the second's line
      return u"Pick? ?? a,b\na First.\nmore a.\nb Second. :: END";
    case 0: return u"[" + label() + u"] A scene.";
    // Answers of choices other than the one below, whose answers 'a' and 'b' they leave.
    case 1: return std::u16string(kLabels[2 + pick(3)]) + u" An answer. :: END";
    case 2: return std::u16string(kLabels[2 + pick(3)]) + u" An answer that goes on.";
    case 3: return u"Pick? ?? " + label() + u"," + label();
    case 4: return u"Go. >> [" + label() + u"]";
    case 5: return u"more " + label() + u".";
    case 6: return u"Set. :: AON";
    case 7: return u"Test. >>A[" + label() + u"],[" + label() + u"]";
    case 8: return u"Done. :: END";
    case 9: return u"A line of many words, wider than a narrow title bar.";
    case 10: return u"\u5168\u89D2\u306E\u884C\u3067\u3059\u3002\u5168\u89D2\u306E\u884C\u3002";
    case 11: return u"Pick \uFF1F\uFF1F " + label();
    case 12: return u"";
    case 13: return u"\t[" + label() + u"] Tabbed.";
    default: return u"Plain prose.";
  }
}

// A story of at least `lines` lines, each "\n"-ended, with a choice whose first answer
// reads on into the second's on the 0-based line `choice`.
inline std::u16string RandomStory(const Pick& pick, std::size_t lines, std::size_t& choice) {
  std::u16string text = u"Begin.\n";
  choice = 1 + pick(std::min<std::size_t>(lines - 1, 8));
  for (std::size_t line = 1; line < lines; ++line) {
    text += line == choice ? u"Pick? ?? a,b\na First.\nmore a.\nb Second. :: END" : pick(2) == 0 ? RandomLine(pick) : u"Prose.";
    text += u"\n";
  }
  return text + u"Fin. :: END\n";
}

// One change of a notification: lines inserted, deleted or replaced, or a piece typed
// into a line; applied to `mirror` as the server applies it. As a writer does, it is
// often near the change before, whose line is `near`.
inline Json RandomChange(const Pick& pick, DocumentText& mirror, std::size_t& near) {
  static constexpr std::u16string_view kPieces[] = {u" :: END", u" :: END", u" :: END", u" >> [a]", u"x", u"\n", u" ?? a,b", u"[", u"]", u"a"};
  const std::size_t step = pick(7);
  near = pick(4) != 0 ? (near + step >= 3 ? near + step - 3 : 0) : pick(mirror.LineCount() + 1);
  // A choice's answers are read on lines numbered from its own: the lines above it and
  // within its answers' reach are where a range kept by the wrong numbering shows. The
  // first choice whose first answer reads on (as the story begins with one).
  constexpr std::u16string_view kReadsOn = u"Pick? ?? a,b\na First.\nmore a.";
  std::size_t choice = 0;
  while (choice < mirror.LineCount() &&
         !std::u16string_view(mirror.Text()).substr(mirror.Offset({static_cast<std::int64_t>(choice), 0})).starts_with(kReadsOn))
    ++choice;
  const std::size_t kind = pick(12);
  if (kind >= 7 && choice < mirror.LineCount())
    near = kind <= 8 ? 0 : std::min(choice + (kind == 11 ? 1 + pick(3) : 2), mirror.LineCount());
  const auto line = static_cast<std::int64_t>(std::min(near, mirror.LineCount()));
  Range range{{line, 0}, {line, 0}};
  std::u16string text;
  switch (kind) {
    case 7:
    case 8:  // lines inserted at the top, which move the choice past its own reach
      for (std::size_t count = 4 + pick(5); count > 0; --count) text += u"Inserted.\n";
      break;
    case 9:
    case 10:
    case 11:  // a line in the answers' reach ended (mostly "more a.", which no label begins, so
              // that only the reach says to check the choice again), or an answer's label broken
      range.start.character = range.end.character = kind == 11 && pick(2) == 0 ? 0 : 1 << 20;
      text = range.start.character == 0 ? u"x" : u" :: END";
      break;
    case 6:
    case 0:  // lines that touch no label, which leave every other line's records as they were
      for (std::size_t count = 1 + pick(12); count > 0; --count) text += u"Inserted.\n";
      break;
    case 1:
      for (std::size_t count = 1 + pick(12); count > 0; --count) text += RandomLine(pick) + u"\n";
      break;
    case 2: range.end.line += static_cast<std::int64_t>(1 + pick(3)); break;
    case 3:
      range.end.character = 1 << 20;  // the line's end
      text = RandomLine(pick);
      break;
    default:
      range.start.character = range.end.character = pick(4) == 0 ? static_cast<std::int64_t>(pick(40)) : 1 << 20;
      text = kPieces[pick(std::size(kPieces))];
      break;
  }
  mirror.Replace(range, text);
  // The cursor stands after what was typed.
  near += static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\n'));
  const auto json = [](const Position& at) { return Json{{"line", at.line}, {"character", at.character}}; };
  return {{"range", {{"start", json(range.start)}, {"end", json(range.end)}}}, {"text", ToUtf8(text)}};
}

// Drives one sequence of `edits` versions of a story of `lines` lines through a server,
// a few changes in each notification, now and then a change of the title bar's width,
// and not every version settled before the next; compares each settled version's
// diagnostics, hover and code lenses with a fresh server's. Answers what the first
// version that differs shows, or nothing.
inline std::string CompareVersions(const Pick& pick, std::size_t lines, std::size_t edits) {
  static constexpr std::size_t kWidths[] = {kDefaultWidth, 20, 60};
  const std::string uri = "file:///story.txt";
  std::size_t width = kWidths[pick(std::size(kWidths))];
  LocalServer editor(width);
  std::size_t near = 0;  // the edits begin around the choice
  DocumentText mirror(RandomStory(pick, lines, near));
  editor.Notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", ToUtf8(mirror.Text())}}}});
  const Json document{{"textDocument", {{"uri", uri}}}};
  for (std::size_t version = 1; version <= edits + 1; ++version) {
    if (version > 1) {
      if (pick(8) == 0) {
        width = kWidths[pick(std::size(kWidths))];
        editor.Notify("workspace/didChangeConfiguration", {{"settings", {{"quillshade", {{"width", width}}}}}});
      }
      Json changes = Json::array();
      // Mostly one change, as typing sends; now and then several, spread over the text.
      for (std::size_t count = pick(3) == 0 ? 2 + pick(3) : 1; count > 0; --count)
        changes.push_back(RandomChange(pick, mirror, near));
      editor.Notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", version}}}, {"contentChanges", changes}});
      if (version <= edits && pick(4) == 0) continue;  // the next version comes before this one is checked
    }
    editor.Settle();
    LocalServer fresh(width);
    fresh.Notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", ToUtf8(mirror.Text())}}}});
    fresh.Settle();
    std::string differs;
    if (editor.Published(uri) != fresh.Published(uri))
      differs = "diagnostics\n" + editor.Published(uri).dump(1) + "\nfrom nothing\n" + fresh.Published(uri).dump(1);
    else if (const Json a = editor.Request("textDocument/codeLens", document), b = fresh.Request("textDocument/codeLens", document); a != b)
      differs = "code lenses\n" + a.dump() + "\nfrom nothing\n" + b.dump();
    for (std::size_t i = 0; differs.empty() && i < std::min<std::size_t>(mirror.LineCount(), 12); ++i) {
      Json at = document;
      at["position"] = {{"line", mirror.LineCount() <= 12 ? i : pick(mirror.LineCount())}, {"character", 0}};
      const Json a = editor.Request("textDocument/hover", at);
      const Json b = fresh.Request("textDocument/hover", at);
      if (a != b) differs = "hover at " + at["position"].dump() + "\n" + a.dump() + "\nfrom nothing\n" + b.dump();
    }
    if (!differs.empty()) {
      const std::string text = ToUtf8(mirror.Text());
      return "version " + std::to_string(version) + " (width " + std::to_string(width) + ") differs in its " + differs +
             "\ntext:\n" + (text.size() > 4000 ? text.substr(0, 4000) + "..." : text);
    }
  }
  return {};
}

}  // namespace quillshade::qsd::lsp
