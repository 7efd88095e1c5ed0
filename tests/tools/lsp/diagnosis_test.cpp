// Diagnoses off the dispatch thread: a stopped job reports nothing, a newer version
// supersedes a pending one, a pull request can be cancelled, and the worker stops.
#include "tools/qsd/lsp/diagnosis.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>

#include "tools/qsd/lib/plan.h"
#include "tools/qsd/lsp/protocol.h"

namespace quillshade::qsd::lsp {
namespace {

TEST(Diagnose, AStoppedJobReportsNothingAndAnOpenStoryIsChecked) {
  DiagnosisJob job;
  job.uri = "file:///s.txt";
  job.story = StoryDocumentOf(job.uri, 1, u"a >>[b]\n", true);
  DiagnosisResult result = Diagnose(job);
  EXPECT_FALSE(result.stopped);
  ASSERT_FALSE(result.report.diagnostics.empty());
  EXPECT_EQ(result.report.diagnostics.front().check, "missing-label");

  *job.stop = true;
  result = Diagnose(job);
  EXPECT_TRUE(result.stopped);
  EXPECT_TRUE(result.report.diagnostics.empty());
}

// The plans beside an open story are read from disk and replayed on the text as typed,
// with the walk's findings: a failing one is one error where it first differs.
TEST(Diagnose, APlanBesideAnOpenStoryThatNoLongerPassesIsOneFindingWhereItDiffers) {
  const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "diagnose-plans";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "attic.plan") << "load  Door.\nd     Rain.\n";
  std::ofstream(folder / "attic.passes.plan") << "load  Door.\n";
  DiagnosisJob job;
  job.uri = UriOfPath((folder / "attic.txt").string());
  job.story = StoryDocumentOf(job.uri, 1, u"Door.\nSnow. :: END\n", true);
  std::vector<Diagnostic> plans;
  for (const Diagnostic& found : Diagnose(job).report.diagnostics)
    if (found.check == kPlanDiffersCheck) plans.push_back(found);
  ASSERT_EQ(plans.size(), 1u);
  EXPECT_EQ(plans[0].line, 2);
  EXPECT_EQ(plans[0].message, "plan attic.plan step 1 expected 'Rain.' got 'Snow.'");
  for (const Diagnostic& found : Diagnose(job, /*linesOnly=*/true).report.diagnostics)
    EXPECT_NE(found.check, kPlanDiffersCheck);
  std::filesystem::remove_all(folder);
}

std::u16string ToU16(int number) {
  const std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

DiagnosisJob JobFor(const std::string& uri, std::int64_t version, const char16_t* text) {
  DiagnosisJob job;
  job.uri = uri;
  job.version = version;
  job.story = StoryDocumentOf(uri, version, text, true);
  return job;
}

// A worker whose first result is held until the test lets it go, so that the jobs
// posted meanwhile are all pending, and the results it hands back.
struct HeldWorker {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released{release.get_future().share()};
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<DiagnosisResult> results;
  std::optional<DiagnosisWorker> worker;

  HeldWorker() {
    worker.emplace([this](DiagnosisResult result) {
      std::unique_lock lock(mutex);
      results.push_back(std::move(result));
      arrived.notify_all();
      if (results.size() == 1) {
        lock.unlock();
        entered.set_value();
        released.wait();
      }
    });
    worker->Post(JobFor("file:///hold.txt", 1, u"hold\n"));
    entered.get_future().wait();
  }

  std::vector<DiagnosisResult> Results(std::size_t count) {
    std::unique_lock lock(mutex);
    arrived.wait(lock, [&] { return results.size() >= count; });
    return std::move(results);
  }
};

TEST(DiagnosisWorker, ANewerVersionSupersedesThePendingOneWhichReportsStopped) {
  HeldWorker held;
  held.worker->Post(JobFor("file:///a.txt", 1, u"a >>[b]\n"));
  held.worker->Post(JobFor("file:///other.txt", 1, u"o\n"));
  held.worker->Post(JobFor("file:///a.txt", 2, u"a\n"));
  held.release.set_value();
  const std::vector<DiagnosisResult> results = held.Results(4);
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[1].uri, "file:///a.txt");
  EXPECT_TRUE(results[1].stopped);
  EXPECT_TRUE(results[1].report.diagnostics.empty());
  EXPECT_FALSE(results[2].stopped);
  EXPECT_FALSE(results[3].stopped);
  EXPECT_EQ(results[3].version, 2);
}

TEST(DiagnosisWorker, CancelStopsThePendingJobOfThatRequestOnly) {
  HeldWorker held;
  DiagnosisJob pulled = JobFor("file:///a.txt", 1, u"a >>[b]\n");
  pulled.requestId = Json(7);
  held.worker->Post(std::move(pulled));
  EXPECT_FALSE(held.worker->Cancel(Json(8)));
  EXPECT_TRUE(held.worker->Cancel(Json(7)));
  held.release.set_value();
  const std::vector<DiagnosisResult> results = held.Results(2);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[1].stopped);
  EXPECT_EQ(results[1].requestId, Json(7));
}

TEST(DiagnosisWorker, DestroyedItStopsTheRunningWalkAndDropsThePendingOnes) {
  std::u16string chain = u"[0] Start. >>A[1],[1]\n";
  for (int i = 1; i <= 30'000; ++i)
    chain += u"[" + ToU16(i) + u"] Step. >>A[" + ToU16(i + 1) + u"],[" + ToU16(i + 1) + u"]\n";
  HeldWorker held;
  DiagnosisJob walk = JobFor("file:///chain.txt", 1, chain.c_str());
  const std::shared_ptr<std::atomic<bool>> stop = walk.stop;
  held.worker->Post(std::move(walk));
  held.worker->Post(JobFor("file:///later.txt", 1, u"later\n"));
  // The walk of 30,000 lines is still running when the worker goes.
  held.release.set_value();
  held.worker.reset();
  const std::lock_guard lock(held.mutex);
  for (const DiagnosisResult& result : held.results) {
    EXPECT_NE(result.uri, "file:///later.txt");
    if (result.uri == "file:///chain.txt") {
      EXPECT_TRUE(result.stopped);
    }
  }
}

}  // namespace
}  // namespace quillshade::qsd::lsp
