// Diagnostics off the dispatch thread: a worker that checks and walks one story at a
// time, newest version first, and the results kept per document for publishing.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "story/thread_annotations.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lsp/json_rpc.h"
#include "tools/qsd/lsp/story_document.h"

namespace quillshade::qsd::lsp {

struct DiagnosisJob {
  std::string uri;
  std::int64_t version = 0;                     // of an open document; 0 for a file on disk
  std::shared_ptr<const StoryDocument> story;   // an open document; none: read `path`
  std::string path;
  std::size_t width = kDefaultWidth;            // of the title bar, as the editor's settings say
  // The line checks of an earlier version of the document, from which this one's start.
  std::shared_ptr<const LineCheckMemo> earlierLines;
  std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
};

// Whether two jobs ask for the same answer: one version of an open document at one width.
bool SameWork(const DiagnosisJob& a, const DiagnosisJob& b);

struct DiagnosisResult {
  std::string uri;
  std::int64_t version = 0;
  std::string path;                            // a file on disk, not an open document
  std::shared_ptr<const StoryDocument> story;  // what was checked
  std::size_t width = kDefaultWidth;           // the title bar's, as the job said
  bool stopped = false;                        // cancelled or superseded: publish nothing
  StoryReport report;                          // every check but flags D and E
  bool analysed = false;                       // the report's flag uses count
  std::shared_ptr<const WalkResult> walk;      // of an open document's version, once walked
  bool linesOnly = false;                      // the line checks alone: the walk's findings follow
};

// In the order of their places in the text, as they are published.
void SortByPlace(std::vector<Diagnostic>& diagnostics);

// Every check of `qsd check` over one story, as it judges one file alone; or, with
// `linesOnly`, the checks that read its lines, which take a fraction of the walk's time.
DiagnosisResult Diagnose(const DiagnosisJob& job, bool linesOnly = false);

// An open story of more lines than this gets its line checks published before the walk's
// findings. Below it every check together takes about a frame, and a first, shorter list
// would only flicker.
inline constexpr std::size_t kLineChecksFirstAbove = 5'000;

// What the worker does with each job, on the thread that calls it: a long open story's
// line checks are handed to `done` first, then everything once the walk is done. Each
// version's line checks start from the document's version before, kept here.
class DiagnosisRunner {
 public:
  // `beforeLast` runs just before the last result is handed on.
  void Run(DiagnosisJob job, const std::function<void(DiagnosisResult)>& done,
           const std::function<void()>& beforeLast = {});

 private:
  std::map<std::string, std::shared_ptr<const LineCheckMemo>> lineChecks_;  // by document
};

// One thread that runs Diagnose on posted jobs; a long open story's line checks are
// reported first, then everything once the walk is done. Each version's line checks
// start from the document's version before. A job for a document stops its pending and
// running ones that ask for something else, so a walk never runs for a stale version;
// whoever posts keeps one job per answer, since every request for it waits on that one.
class DiagnosisWorker {
 public:
  explicit DiagnosisWorker(std::function<void(DiagnosisResult)> done);
  ~DiagnosisWorker();
  void Post(DiagnosisJob job);

 private:
  void Run();

  std::function<void(DiagnosisResult)> done_;
  Mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<DiagnosisJob> pending_ GUARDED_BY(mutex_);
  std::optional<DiagnosisJob> running_ GUARDED_BY(mutex_);
  bool quit_ GUARDED_BY(mutex_) = false;
  DiagnosisRunner runner_;  // the worker's thread's alone
  std::thread thread_;
};

// The latest report of each story the server knows: open documents and the story files
// of the workspace folders, whose flags D and E are judged together.
class Diagnoses {
 public:
  void Store(DiagnosisResult result);
  void Forget(const std::string& uri);
  const DiagnosisResult* Find(const std::string& uri) const;
  // The report's diagnostics plus the judgement of flags D and E over every story known.
  std::vector<Diagnostic> WithCarriedFlags(const std::string& uri) const;
  // Records what is published for a document; false when it is what was published
  // last, so that an unchanged list is not sent again.
  bool MarkPublished(const std::string& uri, const Json& params);

 private:
  std::map<std::string, DiagnosisResult> results_;
  std::map<std::string, Json> published_;
};

}  // namespace quillshade::qsd::lsp
