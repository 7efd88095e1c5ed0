// The language server on a 10,000-line story: diagnostics after a change (also at
// 100,000 lines), and the answers an editor waits for while typing (definition,
// references, hover, completion).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "bench/story_generator.h"
#include "story/utf8.h"
#include "tools/qsd/lsp/diagnosis.h"
#include "tools/qsd/lib/line_records.h"
#include "tools/qsd/lsp/protocol.h"

namespace quillshade::qsd::lsp {
namespace {

constexpr std::size_t kLines = 10'000;

const std::u16string& SourceText(std::size_t count = kLines) { return bench::NovelSourceText(count); }

std::shared_ptr<const StoryDocument> Story() {
  static const auto story = StoryDocumentOf("file:///novel.txt", 1, SourceText(), true);
  return story;
}

// A place on a line near the end that jumps (a scene's last line), so that the answers
// cross the whole story.
Position JumpNearTheEnd() {
  const StoryDocument& story = *Story();
  for (std::size_t line = story.LineCount(); line > 0; --line)
    if (story.Script(line).jumpKind != JumpKind::None)
      return story.ToEditor({line, story.Script(line).jumpText.at + 2});
  return {};
}

// Everything between an edit in the middle and the diagnostics going out, as the server
// does it: the edit applied, the story of the new text made from the last version's, its line checks started from the version
// before and published, then (for everything) every check with the walk, which starts
// from those line checks. Arguments: the story's lines, and what is typed: a character
// of prose (0), a line break (1), or a character of a jump's target (2), each keystroke
// making a label that no line begins with. Besides the mean, each keystroke's time gives
// the median and the 95th percentile.
void AfterAChange(benchmark::State& state, bool linesOnly) {
  const auto lines = static_cast<std::size_t>(state.range(0));
  const std::u16string typed[] = {u"x", u"\n", u"q"};
  const std::u16string jump = u"Go on. >>[";
  DocumentText text(SourceText(lines));
  const auto middle = static_cast<std::int64_t>(lines / 2);
  const bool target = state.range(1) == 2;
  if (target) text.Replace({{middle, 0}, {middle, 0}}, jump);
  const Position at{middle, target ? static_cast<std::int64_t>(jump.size()) : 0};
  std::int64_t version = 1;
  std::shared_ptr<const LineCheckMemo> earlier;
  std::shared_ptr<const StoryDocument> story = StoryDocumentOf("file:///novel.txt", version, text, true, nullptr);
  const auto publish = [](const DiagnosisResult& result) {
    benchmark::DoNotOptimize(DiagnosticsJson(*result.story, result.report.diagnostics).dump());
  };
  std::vector<double> times;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    text.Replace({at, at}, typed[state.range(1)]);
    DiagnosisJob job;
    job.uri = "file:///novel.txt";
    job.version = ++version;
    job.story = story = StoryDocumentOf(job.uri, job.version, text, true, story.get());
    job.earlierLines = earlier;
    DiagnosisResult checked = Diagnose(job, true);
    publish(checked);
    if (!linesOnly) {
      job.earlierLines = checked.report.lineChecks;
      checked = Diagnose(job);
      publish(checked);
    }
    std::shared_ptr<const LineCheckMemo> replaced = std::exchange(earlier, checked.report.lineChecks);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    replaced.reset();  // as the server frees it: once the diagnostics are out
  }
  std::sort(times.begin(), times.end());
  state.counters["median_ms"] = times[times.size() / 2];
  state.counters["p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
  state.counters["lines"] = static_cast<double>(std::count(text.Text().begin(), text.Text().end(), u'\n'));
}
void LineChecksAfterAChange(benchmark::State& state) { AfterAChange(state, true); }
void DiagnosticsAfterAChange(benchmark::State& state) { AfterAChange(state, false); }
BENCHMARK(LineChecksAfterAChange)
    ->Args({10'000, 0})->Args({100'000, 0})->Args({100'000, 1})->Args({100'000, 2})
    ->MinTime(2)->Unit(benchmark::kMillisecond);
BENCHMARK(DiagnosticsAfterAChange)
    ->Args({10'000, 0})->Args({100'000, 0})->Args({100'000, 1})->Args({100'000, 2})
    ->MinTime(2)->Unit(benchmark::kMillisecond);

// An answer an editor waits for while typing, asked at a jump near the end and made JSON.
using Answer = Json (*)(const StoryDocument& story, const Position& at);

void AnswerAtAJump(benchmark::State& state, Answer answer) {
  const Position at = JumpNearTheEnd();
  for (auto _ : state) benchmark::DoNotOptimize(answer(*Story(), at).dump());
}

// Registered here, between the benchmarks around them, under the answers' own names.
[[maybe_unused]] const bool kAnswersRegistered = [] {
  const std::pair<const char*, Answer> answers[] = {
      {"Definition", [](const StoryDocument& story, const Position& at) { return DefinitionJson(story, at); }},
      {"References", [](const StoryDocument& story, const Position& at) { return ReferencesJson(story, at, true); }},
      {"Hover", [](const StoryDocument& story, const Position& at) { return HoverJson(story, at, kDefaultWidth); }},
      {"Completion", [](const StoryDocument& story, const Position& at) { return CompletionJson(story, at); }},
  };
  for (const auto& [name, answer] : answers)
    benchmark::RegisterBenchmark(name, AnswerAtAJump, answer)->Unit(benchmark::kMicrosecond);
  return true;
}();

// The lenses of a walked story: one on each ending, and on each dead end no way takes,
// which looks at every line the walk left out and every jump on a flag it reached.
// Argument: the story's lines.
void LensesOfAWalkedStory(benchmark::State& state) {
  DiagnosisJob job;
  job.uri = "file:///novel.txt";
  job.version = 1;
  job.story = StoryDocumentOf(job.uri, job.version, SourceText(static_cast<std::size_t>(state.range(0))), true);
  const DiagnosisResult checked = Diagnose(job);
  for (auto _ : state) benchmark::DoNotOptimize(LensesJson(*checked.story, *checked.walk).dump());
}
BENCHMARK(LensesOfAWalkedStory)->Arg(100'000)->Unit(benchmark::kMillisecond);

// A replace-all in the editor: one notification of 2,000 changes, one a line, each in the
// positions the ones before it left, applied to the 10,000-line text.
void ReplaceAllAsOneBatch(benchmark::State& state) {
  std::vector<TextChange> changes;
  for (std::int64_t line = 0; line < 10'000; line += 5)
    changes.push_back({Range{{line, 0}, {line, 1}}, u"(("});
  for (auto _ : state) {
    DocumentText text(SourceText());
    benchmark::DoNotOptimize(text.Apply(changes, kMaxDocumentUnits));
  }
  state.counters["changes"] = static_cast<double>(changes.size());
}
BENCHMARK(ReplaceAllAsOneBatch)->Unit(benchmark::kMillisecond);

// The same changes one notification each: every one a pass over the whole text, as every
// change of a batch once was.
void ReplaceAllOneByOne(benchmark::State& state) {
  for (auto _ : state) {
    DocumentText text(SourceText());
    for (std::int64_t line = 0; line < 10'000; line += 5) text.Replace({{line, 0}, {line, 1}}, u"((");
    benchmark::DoNotOptimize(text.Text().size());
  }
}
BENCHMARK(ReplaceAllOneByOne)->Unit(benchmark::kMillisecond);

// A request for a version not yet seen builds its story first.
void StoryOfANewVersion(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(StoryDocumentOf("file:///novel.txt", 2, SourceText(), true));
}
BENCHMARK(StoryOfANewVersion)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillshade::qsd::lsp

// The story of the next version made from the last one: a keystroke in the middle of a
// story, and the story of the version it makes. Argument: the story's lines.
namespace quillshade::qsd::lsp {
namespace {

void StoryOfTheNextVersion(benchmark::State& state) {
  const auto lines = static_cast<std::size_t>(state.range(0));
  DocumentText text(SourceText(lines));
  auto story = StoryDocumentOf("file:///novel.txt", 1, text, true, nullptr);
  const auto middle = static_cast<std::int64_t>(lines / 2);
  std::int64_t version = 1;
  for (auto _ : state) {
    state.PauseTiming();
    text.Replace({{middle, 3}, {middle, 3}}, u"x");
    state.ResumeTiming();
    story = StoryDocumentOf("file:///novel.txt", ++version, text, true, story.get());
    benchmark::DoNotOptimize(story.get());
  }
  state.counters["units"] = static_cast<double>(text.Text().size());
}
BENCHMARK(StoryOfTheNextVersion)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillshade::qsd::lsp

BENCHMARK_MAIN();
