// Diagnoses off the dispatch thread: a walk stops when asked, and a stale result says so.
#include "tools/qsd/lsp/diagnosis.h"

#include <gtest/gtest.h>

namespace quillshade::qsd::lsp {
namespace {

TEST(WalkStory, GivesUpAtItsFirstStepOnceStopped) {
  const std::atomic<bool> stop = true;
  const WalkResult walk = WalkStory(u"a\r\nb\r\n", kDefaultMaxStates, kDefaultMaxScan, &stop);
  EXPECT_FALSE(walk.complete);
  EXPECT_EQ(walk.stoppedBy, WalkLimit::Stopped);
}

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

}  // namespace
}  // namespace quillshade::qsd::lsp
