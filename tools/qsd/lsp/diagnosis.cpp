// The diagnosis worker, and the reports it leaves for publishing.
#include "tools/qsd/lsp/diagnosis.h"

#include <algorithm>

#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/line_records.h"
#include "tools/qsd/lib/plan.h"
#include "tools/qsd/lib/platform.h"
#include "tools/qsd/lsp/protocol.h"

namespace quillshade::qsd::lsp {
namespace {

// A story file of the workspace larger than this is not read for its flags.
constexpr std::uint64_t kMaxWorkspaceFileBytes = std::uint64_t{16} << 20;

// The line checks kept for the next version, of this many documents at most.
constexpr std::size_t kMaxKeptLineChecks = 16;

}  // namespace

void SortByPlace(std::vector<Diagnostic>& diagnostics) {
  std::stable_sort(diagnostics.begin(), diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });
}

bool SameWork(const DiagnosisJob& a, const DiagnosisJob& b) {
  return a.story && a.uri == b.uri && a.story == b.story && a.width == b.width;
}

DiagnosisResult Diagnose(const DiagnosisJob& job, bool linesOnly) {
  DiagnosisResult result;
  result.uri = job.uri;
  result.version = job.version;
  result.path = job.path;
  result.story = job.story;
  result.width = job.width;
  if (*job.stop) {
    result.stopped = true;
    return result;
  }
  if (!result.story) {
    const Result<std::string> input = ReadInput(job.path, kMaxWorkspaceFileBytes);
    if (!input.ok()) return result;  // not a story that counts: nothing to judge
    const std::string& bytes = input.value();
    result.story = StoryDocumentOfBytes(job.uri, bytes, IsTextSourceUri(job.uri, std::string_view(bytes)));
  }
  const StoryDocument& story = *result.story;
  result.report.diagnostics = story.loadDiagnostics;
  if (story.loadable) {
    CheckOptions options;
    options.width = job.width;
    options.stop = job.stop.get();
    options.keepWalk = job.story != nullptr;  // an open document's hover and lenses read it
    options.walk = !linesOnly;
    if (job.story) {
      options.earlierLines = job.earlierLines;
      if (job.earlierLines) options.earlierChange = job.story->ChangeSince(job.earlierLines->textOwner);
      options.keepLinesFor = job.story;
    }
    StoryReport report = CheckStoryText(story.text, story.Lines(), story.Labels(), options);
    result.report.diagnostics.insert(result.report.diagnostics.end(), report.diagnostics.begin(),
                                     report.diagnostics.end());
    result.report.flags = report.flags;
    result.report.lineChecks = std::move(report.lineChecks);
    result.walk = std::move(report.walk);
    result.analysed = !linesOnly;
    // The plans beside an open story are replayed with the walk's findings, read from
    // disk each time, so an edited plan counts from the story's next change.
    if (job.story && !linesOnly)
      if (const std::optional<std::string> path = PathOfUri(job.uri)) {
        std::vector<Diagnostic> plans =
            CheckPlansBeside(PathFromUtf8(*path), story.text, job.stop.get());
        result.report.diagnostics.insert(result.report.diagnostics.end(), plans.begin(), plans.end());
      }
  }
  result.linesOnly = linesOnly;
  result.stopped = *job.stop;
  return result;
}

DiagnosisWorker::DiagnosisWorker(std::function<void(DiagnosisResult)> done)
    : done_(std::move(done)), thread_([this] { Run(); }) {}

DiagnosisWorker::~DiagnosisWorker() {
  {
    const MutexLock lock(mutex_);
    quit_ = true;
    if (running_) *running_->stop = true;
  }
  wake_.notify_all();
  thread_.join();
}

void DiagnosisWorker::Post(DiagnosisJob job) {
  {
    const MutexLock lock(mutex_);
    // A newer version makes the older one's walk worthless; the same version's is what
    // this one would do again. Stopped jobs still report, but at once.
    for (DiagnosisJob& pending : pending_)
      if (pending.uri == job.uri && !SameWork(pending, job)) *pending.stop = true;
    if (running_ && running_->uri == job.uri && !SameWork(*running_, job)) *running_->stop = true;
    pending_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void DiagnosisRunner::Run(DiagnosisJob job, const std::function<void(DiagnosisResult)>& done,
                          const std::function<void()>& beforeLast) {
  // A story read from disk is no open document: what was kept for one of that name goes.
  if (!job.story) lineChecks_.erase(job.uri);
  else if (const auto kept = lineChecks_.find(job.uri); kept != lineChecks_.end()) job.earlierLines = kept->second;
  // The line checks a version replaces are freed only once its diagnostics are out.
  std::vector<std::shared_ptr<const LineCheckMemo>> replaced;
  // The next version starts from what this one's checks handed back, whatever it is:
  // whether it may is decided when it does.
  const auto keep = [&](DiagnosisResult& result) {
    if (!result.analysed && !result.linesOnly) return;  // stopped, or not loaded: nothing was checked
    replaced.push_back(std::move(job.earlierLines));
    job.earlierLines = std::move(result.report.lineChecks);
    if (!job.earlierLines) {
      lineChecks_.erase(job.uri);
      return;
    }
    lineChecks_.insert_or_assign(job.uri, job.earlierLines);
    if (lineChecks_.size() > kMaxKeptLineChecks)
      lineChecks_.erase(lineChecks_.begin()->first != job.uri ? lineChecks_.begin() : std::next(lineChecks_.begin()));
  };
  // An editor shows a long story's line checks at once. The walk's checks start from
  // them, so a server that cannot hand them on early loses little.
  if (job.story && job.story->LineCount() > kLineChecksFirstAbove) {
    DiagnosisResult lines = Diagnose(job, true);
    keep(lines);
    if (!lines.stopped) done(std::move(lines));
  }
  DiagnosisResult result = Diagnose(job);
  keep(result);
  if (beforeLast) beforeLast();
  done(std::move(result));
}

void DiagnosisWorker::Run() {
  for (;;) {
    DiagnosisJob job;
    {
      const MutexLock lock(mutex_);
      while (!quit_ && pending_.empty()) mutex_.Wait(wake_);
      if (quit_) return;
      job = std::move(pending_.front());
      pending_.pop_front();
      running_ = job;
    }
    runner_.Run(std::move(job), done_, [this] {
      const MutexLock lock(mutex_);
      running_.reset();
    });
  }
}

void Diagnoses::Store(DiagnosisResult result) {
  const std::string uri = result.uri;
  results_.insert_or_assign(uri, std::move(result));
}

void Diagnoses::Forget(const std::string& uri) {
  results_.erase(uri);
  published_.erase(uri);
}

bool Diagnoses::MarkPublished(const std::string& uri, const Json& params) {
  Json& published = published_[uri];
  if (published == params) return false;
  published = params;
  return true;
}

const DiagnosisResult* Diagnoses::Find(const std::string& uri) const {
  const auto found = results_.find(uri);
  return found == results_.end() ? nullptr : &found->second;
}

std::vector<Diagnostic> Diagnoses::WithCarriedFlags(const std::string& uri) const {
  std::vector<FlagUse> uses;
  std::size_t mine = 0;
  for (const auto& [key, result] : results_) {
    if (!result.analysed) continue;
    if (key == uri) mine = uses.size();
    uses.push_back(result.report.flags);
  }
  const DiagnosisResult* result = Find(uri);
  if (!result) return {};
  std::vector<Diagnostic> all = result->report.diagnostics;
  if (result->analysed) {
    std::vector<std::vector<Diagnostic>> carried = JudgeCarriedFlags(uses);
    all.insert(all.end(), carried[mine].begin(), carried[mine].end());
  }
  SortByPlace(all);
  return all;
}

}  // namespace quillshade::qsd::lsp
