// The dispatcher with its ports played by the test: what it publishes, and when.
#include "tools/qsd/lsp/server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "tests/tools/lsp/version_oracle.h"
#include "tools/qsd/lsp/event_queue.h"

namespace quillshade::qsd::lsp {
namespace {

// A server whose diagnoses wait until the test runs them, in the order it chooses.
struct Harness {
  std::vector<Json> sent;
  std::vector<DiagnosisJob> jobs;
  std::set<std::string> cancelled;
  Server server{ServerPorts{
      [this](const Json& message) { sent.push_back(message); },
      {},
      [this](DiagnosisJob job) { jobs.push_back(std::move(job)); },
      [this](const Json& id) { return cancelled.contains(id.dump()); },
  }};

  void Send(Json message) { server.Handle(Incoming{Incoming::Kind::Message, std::move(message), {}}); }
  void Notify(const char* method, Json params) { Send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}}); }
  void Start() {
    Send({{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"}, {"params", {{"capabilities", Json::object()}}}});
    Notify("initialized", nullptr);
    sent.clear();
  }
  void Open(const std::string& uri, const char* text) {
    Notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}});
  }
  // Runs the oldest job left and hands its result back.
  void Diagnose() {
    DiagnosisJob job = std::move(jobs.front());
    jobs.erase(jobs.begin());
    server.Diagnosed(lsp::Diagnose(job));
  }
};

bool PublishesMissingLabel(const Json& message, const std::string& uri) {
  return message.value("method", "") == "textDocument/publishDiagnostics" && message["params"]["uri"] == uri &&
         message["params"]["diagnostics"].dump().find("missing-label") != std::string::npos;
}

TEST(ServerPublishing, AnOlderVersionsFindingsAreNeverPublishedForANewerText) {
  Harness h;
  h.Start();
  h.Open("file:///a.txt", "a >>[b]\n");
  h.Open("file:///b.txt", "[x] b. :: END\n");
  h.Diagnose();
  h.Diagnose();
  ASSERT_TRUE(std::any_of(h.sent.begin(), h.sent.end(), [](const Json& m) { return PublishesMissingLabel(m, "file:///a.txt"); }));
  h.sent.clear();
  // The label is fixed, and closing b publishes again before a's new walk is done.
  h.Notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///a.txt"}, {"version", 2}}},
                                      {"contentChanges", {{{"text", "a >>[b]\n[b] found. :: END\n"}}}}});
  h.Notify("textDocument/didClose", {{"textDocument", {{"uri", "file:///b.txt"}}}});
  while (!h.jobs.empty()) h.Diagnose();
  for (const Json& message : h.sent) EXPECT_FALSE(PublishesMissingLabel(message, "file:///a.txt")) << message.dump();
}

TEST(ServerPublishing, ADocumentOpenedAgainUnderItsVersionGetsItsNewTextJudged) {
  Harness h;
  h.Start();
  h.Open("file:///a.txt", "[a] fine. :: END\n");
  h.Open("file:///a.txt", "a >>[b]\n");
  while (!h.jobs.empty()) h.Diagnose();
  ASSERT_FALSE(h.sent.empty());
  EXPECT_TRUE(PublishesMissingLabel(h.sent.back(), "file:///a.txt")) << h.sent.back().dump();
}

Json LensRequest(int id, const std::string& uri) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", "textDocument/codeLens"}, {"params", {{"textDocument", {{"uri", uri}}}}}};
}

Json HoverRequest(int id, const std::string& uri, int line) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", "textDocument/hover"},
          {"params", {{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", 1}}}}}};
}

std::string HoverText(const Json& message) { return message["result"]["contents"]["value"].get<std::string>(); }

TEST(ServerWalk, LensesWaitForTheWalkOfTheirVersionAndHoverNeverShowsAnOlderOnesKeys) {
  Harness h;
  h.Start();
  h.Open("file:///a.txt", "[a] one ?? b\nb two :: END\n");
  h.Send(LensRequest(3, "file:///a.txt"));
  h.Send(HoverRequest(4, "file:///a.txt", 1));
  ASSERT_EQ(h.sent.size(), 1u);  // the hover; the lenses wait
  EXPECT_EQ(HoverText(h.sent[0]).find("keys"), std::string::npos);
  // A change before the walk is done: the old version's walk answers nothing.
  h.Notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///a.txt"}, {"version", 2}}},
                                      {"contentChanges", {{{"text", "[a] one\n[a] one ?? b\nb two :: END\n"}}}}});
  h.sent.clear();
  h.Diagnose();
  for (const Json& message : h.sent) EXPECT_FALSE(message.contains("id")) << message.dump();
  h.Diagnose();
  const auto lenses = std::find_if(h.sent.begin(), h.sent.end(), [](const Json& m) { return m.value("id", 0) == 3; });
  ASSERT_NE(lenses, h.sent.end());
  ASSERT_EQ((*lenses)["result"].size(), 1u);
  EXPECT_EQ((*lenses)["result"][0]["range"]["start"]["line"], 2);
  EXPECT_EQ((*lenses)["result"][0]["command"]["title"], "END, reached by the keys d1");
  h.sent.clear();
  h.Send(HoverRequest(5, "file:///a.txt", 2));
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_NE(HoverText(h.sent[0]).find("Reached by the keys d1."), std::string::npos) << HoverText(h.sent[0]);
}

// An editor that shows no Markdown (eglot without a Markdown mode) asks for plain text.
TEST(ServerDialects, HoverComesInTheFirstMarkupTheEditorNamesThatTheServerWrites) {
  const std::pair<Json, const char*> cases[] = {
      {Json::object(), "markdown"},
      {{{"contentFormat", {"plaintext"}}}, "plaintext"},
      {{{"contentFormat", {"plaintext", "markdown"}}}, "plaintext"},
      {{{"contentFormat", {"html", "markdown", "plaintext"}}}, "markdown"},
      {{{"contentFormat", {"html"}}}, "plaintext"},
  };
  for (const auto& [hover, kind] : cases) {
    Harness h;
    h.Send({{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"},
            {"params", {{"capabilities", {{"textDocument", {{"hover", hover}}}}}}}});
    h.Notify("initialized", nullptr);
    h.Open("file:///a.txt", "[a] one >>A[b],[c]\n[b] two :: END\n");
    h.sent.clear();
    h.Send(HoverRequest(1, "file:///a.txt", 0));
    ASSERT_EQ(h.sent.size(), 1u);
    EXPECT_EQ(h.sent[0]["result"]["contents"]["kind"], kind) << hover.dump();
    const std::string text = HoverText(h.sent[0]);
    const bool marked = text.find("**") != std::string::npos || text.find('`') != std::string::npos;
    EXPECT_EQ(marked, std::string_view(kind) == "markdown") << text;
  }
}

// A way out of a reached line that no way in takes is a dead end all the same.
TEST(ServerWalk, ADeadEndOnlyOneWayOfAJumpOnAFlagLeadsToGetsItsLens) {
  Harness h;
  h.Start();
  h.Open("file:///a.txt", "[a] one :: AON\n>>A[b],[lost]\n[b] two >>B[c],[gone]\n[c] :: END\n");
  h.Send(LensRequest(3, "file:///a.txt"));
  while (!h.jobs.empty()) h.Diagnose();
  std::vector<std::string> lenses;
  for (const Json& message : h.sent)
    if (message.value("id", 0) == 3)
      for (const Json& lens : message["result"])
        lenses.push_back(std::to_string(lens["range"]["start"]["line"].get<int>()) + ":" +
                         std::to_string(lens["range"]["start"]["character"].get<int>()) + " " +
                         lens["command"]["title"].get<std::string>());
  EXPECT_EQ(lenses, (std::vector<std::string>{"1:7 no line begins with '[lost]', never reached",
                                              "2:15 no line begins with '[gone]': the jump stops the story, reached by the keys ddd, with A set",
                                              "3:0 END, never reached"}));
}

TEST(ServerWalk, LensesOfATextWithNothingToWalkAreAnsweredEmpty) {
  // Empty, a byte-order mark alone, no line break, and a story file that does not load.
  const std::pair<const char*, const char*> texts[] = {
      {"file:///a.txt", ""}, {"file:///a.txt", "\xEF\xBB\xBF"}, {"file:///a.txt", "[a] one :: END"}, {"file:///a.qsd", "not codes"}};
  for (const auto& [uri, text] : texts) {
    Harness h;
    h.Start();
    h.Open(uri, text);
    h.Send(LensRequest(3, uri));
    while (!h.jobs.empty()) h.Diagnose();
    h.Send(LensRequest(4, uri));
    std::vector<Json> answers;
    for (const Json& message : h.sent)
      if (message.contains("id")) answers.push_back(message);
    ASSERT_EQ(answers.size(), 2u) << uri << " " << text;
    for (const Json& answer : answers) EXPECT_EQ(answer["result"], Json::array()) << answer.dump();
  }
}

TEST(ServerPublishing, LineChecksAreNeverPublishedOverTheWalksFindingsNorForAnOlderText) {
  Harness h;
  h.Start();
  h.Open("file:///a.txt", "a >>[b]\nlost\n");
  const DiagnosisJob job = h.jobs.front();
  h.Diagnose();
  ASSERT_EQ(h.sent.size(), 1u);
  ASSERT_NE(h.sent[0].dump().find("unreachable"), std::string::npos);
  h.sent.clear();
  h.server.Diagnosed(Diagnose(job, true));  // late: the whole list is out already
  EXPECT_TRUE(h.sent.empty());
  h.Notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///a.txt"}, {"version", 2}}},
                                      {"contentChanges", {{{"text", "b\n"}}}}});
  h.server.Diagnosed(Diagnose(job, true));  // of version 1
  EXPECT_TRUE(h.sent.empty());
  h.server.Diagnosed(Diagnose(h.jobs.back(), true));
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_EQ(h.sent[0]["params"]["version"], 2);
}

// A server on the diagnosis worker `qsd lsp` runs, driven from the test's thread as VS
// Code's client drives it: one pull of a document at a time, again when asked to.
class PullingEditor {
 public:
  explicit PullingEditor(bool refreshSupport) {
    Json capabilities{{"textDocument", {{"diagnostic", Json::object()}, {"codeLens", Json::object()}}}};
    if (refreshSupport) capabilities["workspace"] = {{"diagnostics", {{"refreshSupport", true}}}};
    Request("initialize", {{"capabilities", capabilities}});
    Notify("initialized", nullptr);
  }

  void Notify(const char* method, Json params) {
    server_.Handle(Incoming{Incoming::Kind::Message, {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}}, {}});
  }
  int Request(const char* method, Json params) {
    server_.Handle(Incoming{
        Incoming::Kind::Message, {{"jsonrpc", "2.0"}, {"id", ++lastId_}, {"method", method}, {"params", std::move(params)}}, {}});
    return lastId_;
  }
  // The answer to a request, handing the worker's results to the server until it comes;
  // null when the worker has nothing more for a minute.
  Json Answer(int id) {
    for (;;) {
      for (const Json& message : sent_)
        if (message.value("id", Json()) == id && !message.contains("method")) return message;
      std::unique_lock lock(mutex_);
      if (!arrived_.wait_for(lock, std::chrono::minutes(1), [&] { return !results_.empty(); })) return nullptr;
      DiagnosisResult result = std::move(results_.front());
      results_.pop_front();
      lock.unlock();
      server_.Diagnosed(std::move(result));
    }
  }
  // The diagnostics VS Code shows after a pull: asked again for as long as the server
  // asks it to refresh, as the client does.
  Json Pulled(const std::string& uri) {
    Json answer = Answer(Request("textDocument/diagnostic", {{"textDocument", {{"uri", uri}}}, {"previousResultId", resultId_}}));
    while (RefreshAsked())
      answer = Answer(Request("textDocument/diagnostic", {{"textDocument", {{"uri", uri}}}, {"previousResultId", resultId_}}));
    if (answer.contains("result")) resultId_ = answer["result"].value("resultId", "");
    return answer;
  }
  bool RefreshAsked() {
    const auto refresh = std::find_if(sent_.begin(), sent_.end(), [](const Json& message) {
      return message.value("method", "") == "workspace/diagnostic/refresh";
    });
    if (refresh == sent_.end()) return false;
    server_.Handle(Incoming{Incoming::Kind::Message, {{"jsonrpc", "2.0"}, {"id", (*refresh)["id"]}, {"result", nullptr}}, {}});
    sent_.erase(refresh);
    return true;
  }
  int jobs = 0;  // posted to the worker

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<DiagnosisResult> results_;
  std::vector<Json> sent_;
  int lastId_ = 0;
  std::string resultId_;
  DiagnosisWorker worker_{[this](DiagnosisResult result) {
    const std::lock_guard lock(mutex_);
    results_.push_back(std::move(result));
    arrived_.notify_one();
  }};
  Server server_{ServerPorts{[this](const Json& message) { sent_.push_back(message); }, {},
                             [this](DiagnosisJob job) { ++jobs, worker_.Post(std::move(job)); }, {}}};
};

// Scenes of four lines, each beginning with its label and jumping to the next; the last
// ends.
std::string FourLineScenes(std::size_t lines) {
  std::string text;
  for (std::size_t line = 0; line + 1 < lines; ++line)
    text += line % 4 == 0 ? "[s" + std::to_string(line) + "] A scene begins.\n"
            : line % 4 == 3 ? "It ends. >> [s" + std::to_string(line + 1) + "]\n"
                             : "Prose.\n";
  return text + "The end. :: END\n";
}

// An editor that pulls may ask for lenses before it pulls: the lens request starts the
// walk it waits for, or it would wait for ever.
TEST(ServerPulls, ALensAskedBeforeAnyPullStartsTheWalkItWaitsFor) {
  PullingEditor editor(true);
  const std::string uri = "file:///end.story.txt";
  editor.Notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", FourLineScenes(9)}}}});
  const Json lenses = editor.Answer(editor.Request("textDocument/codeLens", {{"textDocument", {{"uri", uri}}}}));
  ASSERT_TRUE(lenses.contains("result")) << lenses.dump();
  EXPECT_NE(lenses["result"].dump().find("END"), std::string::npos) << lenses.dump();
}

// Flags D and E carry over from one story to the next: a story that sets one changes the
// findings of another that tests it, which an editor that pulls is asked to pull again.
TEST(ServerPulls, AStoryThatSetsFlagDAsksTheEditorToPullAgainTheStoryThatTestsIt) {
  PullingEditor editor(true);
  const std::string tests = "file:///tests.story.txt";
  const std::string sets = "file:///sets.story.txt";
  editor.Notify("textDocument/didOpen",
                {{"textDocument", {{"uri", tests}, {"version", 1}, {"text", "Go. >>D[yes],[no]\n[yes] Yes. :: END\n[no] No. :: END\n"}}}});
  EXPECT_NE(editor.Pulled(tests)["result"].dump().find("flag-never-set"), std::string::npos);
  editor.Notify("textDocument/didOpen", {{"textDocument", {{"uri", sets}, {"version", 1}, {"text", "Begin. :: DON\nOn. :: END\n"}}}});
  EXPECT_TRUE(editor.Answer(editor.Request("textDocument/diagnostic", {{"textDocument", {{"uri", sets}}}})).contains("result"));
  ASSERT_TRUE(editor.RefreshAsked());
  EXPECT_EQ(editor.Pulled(tests)["result"].dump().find("flag-never-set"), std::string::npos);
  EXPECT_FALSE(editor.RefreshAsked());  // once judged again, nothing more to ask
}

TEST(ServerPulls, AKeystrokeThenAPullAndALensAsVsCodeSendsThemShowsItsFindings) {
  const std::string uri = "file:///chain.story.txt";
  for (const auto& [lines, refresh] : {std::pair<std::size_t, bool>{9, true}, {10'000, true}, {100'000, true}, {10'000, false}}) {
    SCOPED_TRACE(std::to_string(lines) + (refresh ? " lines, refresh" : " lines, no refresh"));
    PullingEditor editor(refresh);
    editor.Notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", FourLineScenes(lines)}}}});
    // A letter typed before a label in the middle: the jump to it breaks, the rest is lost.
    const auto middle = static_cast<std::int64_t>(lines / 8 * 4);
    editor.Notify("textDocument/didChange",
                  {{"textDocument", {{"uri", uri}, {"version", 2}}},
                   {"contentChanges", {{{"range", {{"start", {{"line", middle}, {"character", 0}}}, {"end", {{"line", middle}, {"character", 0}}}}},
                                        {"text", "x"}}}}});
    const int pull = editor.Request("textDocument/diagnostic", {{"textDocument", {{"uri", uri}}}});
    const int lens = editor.Request("textDocument/codeLens", {{"textDocument", {{"uri", uri}}}});
    const Json first = editor.Answer(pull);
    ASSERT_TRUE(first.contains("result")) << first.dump();
    const std::string shown = first["result"]["items"].dump();
    EXPECT_NE(shown.find("missing-label"), std::string::npos);
    // A long story's line checks come first to an editor that can be asked to pull again.
    EXPECT_EQ(shown.find("unreachable") == std::string::npos, refresh && lines > kLineChecksFirstAbove) << shown;
    EXPECT_TRUE(editor.Answer(lens).contains("result"));
    const std::string last = refresh ? editor.Pulled(uri)["result"].dump() : shown;
    EXPECT_NE(last.find("missing-label"), std::string::npos);
    EXPECT_NE(last.find("unreachable"), std::string::npos);
    if (refresh) {
      EXPECT_EQ(editor.Pulled(uri)["result"]["kind"], "unchanged");  // asked again, nothing new
    }
    EXPECT_EQ(editor.jobs, 1);  // one walk a version, whoever asked
  }
}

TEST(ServerLifecycle, NullAbsentAndEmptyParamsAllMeanNothing) {
  for (const Json& params : {Json(nullptr), Json::object(), Json::array()}) {
    Harness h;
    h.Start();
    Json shutdown{{"jsonrpc", "2.0"}, {"id", 5}, {"method", "shutdown"}};
    if (!params.is_array()) shutdown["params"] = params;
    h.Send(shutdown);
    ASSERT_EQ(h.sent.size(), 1u);
    EXPECT_EQ(h.sent[0], Response(5, nullptr)) << params.dump();
    h.Send({{"jsonrpc", "2.0"}, {"method", "exit"}, {"params", params}});
    EXPECT_TRUE(h.server.Exited());
    EXPECT_EQ(h.server.ExitStatus(), 0);
  }
}

TEST(ServerRequests, ACancelledRequestIsAnsweredAsCancelledNotAnswered) {
  Harness h;
  h.Start();
  h.Open("file:///a.txt", "[a] one >>[b]\n[b] two :: END\n");
  h.sent.clear();
  h.cancelled.insert(Json(7).dump());
  h.Send({{"jsonrpc", "2.0"}, {"id", 7}, {"method", "textDocument/documentSymbol"},
          {"params", {{"textDocument", {{"uri", "file:///a.txt"}}}}}});
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_EQ(h.sent[0]["error"]["code"], static_cast<int>(ErrorCode::RequestCancelled));
}

// The outline is written as JSON text, not built as a value: what a line shows comes
// through whatever it holds, and an outline kept for the editor's next request is never
// answered for another version.
TEST(ServerRequests, TheOutlineIsJsonOfTheCurrentVersionWhateverItsLinesHold) {
  Harness h;
  h.Start();
  const auto outline = [&h](int id) {
    h.sent.clear();
    h.Send({{"jsonrpc", "2.0"}, {"id", id}, {"method", "textDocument/documentSymbol"},
            {"params", {{"textDocument", {{"uri", "file:///a.txt"}}}}}});
    return h.sent.empty() ? Json() : h.sent[0];
  };
  h.Open("file:///a.txt", "[a] Say \"hi\" \\ to\ttab \u65e5\u672c >>[b]\n[b] two :: END\n");
  const Json first = outline(1);
  ASSERT_TRUE(first.contains("result")) << first.dump();
  ASSERT_EQ(first["result"].size(), 2u);
  EXPECT_EQ(first["result"][0]["name"], "[a]");
  EXPECT_EQ(first["result"][0]["detail"], "Say \"hi\" \\ to\ttab \u65e5\u672c");
  EXPECT_EQ(first["result"][1]["selectionRange"], Json::parse(R"({"start":{"line":1,"character":0},"end":{"line":1,"character":3}})"));
  EXPECT_EQ(outline(2), Response(2, first["result"]));
  h.Notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///a.txt"}, {"version", 2}}},
                                      {"contentChanges", {{{"text", "[a] one >>[c]\n[c] two :: END\n"}}}}});
  EXPECT_EQ(outline(3)["result"][1]["name"], "[c]");
}

TEST(ServerRequests, ACancelAfterTheWorkerTookAPullRequestIsAnsweredAsCancelledOnce) {
  Harness h;
  h.Send({{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"},
          {"params", {{"capabilities", {{"textDocument", {{"diagnostic", Json::object()}}}}}}}});
  h.Notify("initialized", nullptr);
  h.Open("file:///a.txt", "[a] one >>[b]\n");
  h.sent.clear();
  h.Send({{"jsonrpc", "2.0"}, {"id", 7}, {"method", "textDocument/diagnostic"},
          {"params", {{"textDocument", {{"uri", "file:///a.txt"}}}}}});
  h.Notify("$/cancelRequest", {{"id", 7}});
  h.Diagnose();
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_EQ(h.sent[0]["error"]["code"], static_cast<int>(ErrorCode::RequestCancelled)) << h.sent[0].dump();
}

TEST(ServerRequests, CompletionStopsAtItsCapWithThoseBeginningAsTypedFirst) {
  Harness h;
  h.Start();
  std::string text = "Go >> [b\n";
  for (int i = 0; i < 1500; ++i) text += "[a" + std::to_string(i) + "] x\n[b" + std::to_string(i) + "] y\n";
  h.Open("file:///a.txt", text.c_str());
  h.sent.clear();
  h.Send({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "textDocument/completion"},
          {"params", {{"textDocument", {{"uri", "file:///a.txt"}}}, {"position", {{"line", 0}, {"character", 8}}}}}});
  ASSERT_EQ(h.sent.size(), 1u);
  const Json& result = h.sent[0]["result"];
  EXPECT_EQ(result["isIncomplete"], true);
  ASSERT_EQ(result["items"].size(), kMaxCompletionItems);
  for (const Json& item : result["items"]) EXPECT_EQ(item["label"].get<std::string>().substr(0, 2), "[b");
}

TEST(EventQueue, TheReaderWaitsWhileTheQueueIsFullAndOthersDoNotAndResultsGoFirst) {
  EventQueue queue(2);
  queue.Push(Incoming{Incoming::Kind::Malformed, {}, "first"}, true);
  queue.Push(Incoming{}, true);
  queue.Push(DiagnosisResult{}, false);  // the worker is never held up
  std::atomic<bool> pushed = false;
  std::thread reader([&] {
    queue.Push(Incoming{Incoming::Kind::Malformed, {}, "third"}, true);
    pushed = true;
  });
  // The result first, ahead of the messages; two messages are still too many: give the
  // reader every chance to push.
  EXPECT_TRUE(std::holds_alternative<DiagnosisResult>(queue.Pop()));
  for (int i = 0; i < 10'000 && !pushed; ++i) std::this_thread::yield();
  EXPECT_FALSE(pushed);
  EXPECT_EQ(std::get<Incoming>(queue.Pop()).problem, "first");  // one left: now it goes in
  reader.join();
  queue.Pop();
  EXPECT_EQ(std::get<Incoming>(queue.Pop()).problem, "third");
}

// Each version of a story as the editor sends it, against a server that reads only that
// version's text.
TEST(ServerVersions, AnAnswersRangeMovedByAnInsertionIsCheckedAgainWhenALineOfItChanges) {
  const std::string uri = "file:///story.txt";
  const auto change = [](int line, int character, const char* text) {
    return Json{{"range", {{"start", {{"line", line}, {"character", character}}}, {"end", {{"line", line}, {"character", character}}}}},
                {"text", text}};
  };
  LocalServer editor(kDefaultWidth);
  editor.Notify("textDocument/didOpen",
                {{"textDocument",
                  {{"uri", uri}, {"version", 1}, {"text", "Begin.\nIntro.\nIntro2.\nPick? ?? a,b\na First.\nmore a.\nb Second. :: END\nFin.\n"}}}});
  editor.Settle();
  ASSERT_NE(editor.Published(uri).dump().find("answer-runs-on"), std::string::npos);
  std::string tenLines;
  for (int i = 0; i < 10; ++i) tenLines += "Inserted.\n";
  editor.Notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", 2}}}, {"contentChanges", {change(1, 0, tenLines.c_str())}}});
  editor.Settle();
  editor.Notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", 3}}}, {"contentChanges", {change(15, 7, " :: END")}}});
  editor.Settle();
  LocalServer fresh(kDefaultWidth);
  fresh.Notify("textDocument/didOpen",
               {{"textDocument",
                 {{"uri", uri}, {"version", 3}, {"text", "Begin.\n" + tenLines + "Intro.\nIntro2.\nPick? ?? a,b\na First.\nmore a. :: END\nb Second. :: END\nFin.\n"}}}});
  fresh.Settle();
  EXPECT_EQ(editor.Published(uri).dump().find("answer-runs-on"), std::string::npos);
  EXPECT_EQ(editor.Published(uri), fresh.Published(uri));
}

TEST(ServerVersions, EverySettledVersionAnswersAsAServerGivenOnlyItsText) {
  std::mt19937 random(24);
  const Pick pick = [&](std::size_t count) { return count == 0 ? 0 : random() % count; };
  // A few seconds' worth: the fuzz target runs the long tail.
  for (int sequence = 0; sequence < 12; ++sequence) {
    // One long story, whose line checks are published before the walk's findings.
    const std::size_t lines = sequence == 0 ? kLineChecksFirstAbove + 100 : 5 + pick(20);
    const std::string differs = CompareVersions(pick, lines, sequence == 0 ? 2 : 1 + pick(30));
    ASSERT_EQ(differs, "") << "sequence " << sequence;
  }
}

// The edits applied to the tokens the editor holds.
std::vector<std::uint32_t> AppliedTokenEdits(std::vector<std::uint32_t> tokens, const Json& answer) {
  if (answer.contains("data")) return answer["data"].get<std::vector<std::uint32_t>>();
  for (const Json& edit : answer["edits"]) {
    const auto at = tokens.begin() + edit["start"].get<std::ptrdiff_t>();
    const auto data = edit["data"].get<std::vector<std::uint32_t>>();
    tokens.insert(tokens.erase(at, at + edit["deleteCount"].get<std::ptrdiff_t>()), data.begin(), data.end());
  }
  return tokens;
}

TEST(ServerColours, TokenEditsAppliedToTheLastTokensSentGiveAFreshServersTokens) {
  std::mt19937 random(26);
  const Pick pick = [&](std::size_t count) { return count == 0 ? 0 : random() % count; };
  const std::string uri = "file:///story.txt";
  const Json document{{"textDocument", {{"uri", uri}}}};
  std::size_t near = 0;
  DocumentText mirror(RandomStory(pick, 40, near));
  LocalServer editor(kDefaultWidth);
  editor.Notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", ToUtf8(mirror.Text())}}}});
  Json answer = editor.Request("textDocument/semanticTokens/full", document);
  std::vector<std::uint32_t> held = answer["data"].get<std::vector<std::uint32_t>>();
  std::string previous = answer["resultId"];
  std::size_t edited = 0;
  for (int version = 2; version < 60; ++version) {
    editor.Notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", version}}},
                                             {"contentChanges", {RandomChange(pick, mirror, near)}}});
    // Now and then the editor names a result that is not the last (an answer it dropped)
    // or one the server never gave: it is then answered in full.
    const std::size_t naming = pick(8);
    const std::string named = naming == 0 ? "unknown" : naming == 1 ? std::to_string(std::stoi(previous) - 1) : previous;
    Json params = document;
    params["previousResultId"] = named;
    answer = editor.Request("textDocument/semanticTokens/full/delta", params);
    ASSERT_EQ(answer.contains("edits"), named == previous) << answer.dump();
    if (answer.contains("edits")) edited += answer["edits"].size();
    held = AppliedTokenEdits(held, answer);
    previous = answer["resultId"];
    LocalServer fresh(kDefaultWidth);
    fresh.Notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", ToUtf8(mirror.Text())}}}});
    ASSERT_EQ(held, fresh.Request("textDocument/semanticTokens/full", document)["data"].get<std::vector<std::uint32_t>>())
        << "version " << version;
  }
  EXPECT_GT(edited, 10U);  // the edits were exercised, not only full answers
}

}  // namespace
}  // namespace quillshade::qsd::lsp
