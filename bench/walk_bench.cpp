// The state walk and the checks that read it, on the generated novel's first 100,000 lines:
// the part of a story's diagnosis that waits for the walk.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "bench/story_generator.h"
#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/walk.h"
#include "tools/qsd/lsp/story_document.h"

namespace quillshade::qsd {
namespace {

// The story as the editor service holds it: the text with its lines and labels indexed.
std::shared_ptr<const lsp::StoryDocument> Novel(std::size_t lines) {
  static std::map<std::size_t, std::shared_ptr<const lsp::StoryDocument>> stories;
  auto& story = stories[lines];
  if (!story) story = lsp::StoryDocumentOf("file:///novel.txt", 1, bench::NovelSourceText(lines), true);
  return story;
}

WalkResult Walk(const lsp::StoryDocument& story, const CheckOptions& options) {
  return WalkStoryLines(story.text, story.Lines(), story.Labels(), options.maxStates, options.maxScan, nullptr);
}

// The walk alone. Argument: the story's lines.
void WalkOnly(benchmark::State& state) {
  const auto story = Novel(static_cast<std::size_t>(state.range(0)));
  const CheckOptions options;
  std::uint64_t states = 0;
  for (auto _ : state) {
    const WalkResult walk = Walk(*story, options);
    states = walk.states;
    benchmark::DoNotOptimize(walk);
  }
  state.counters["states"] = static_cast<double>(states);
}
BENCHMARK(WalkOnly)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Everything that waits for the walk once the line checks are done: the walk, the checks
// that read it, and the ways in given to the line checks' findings.
void WalkChecksAfterLines(benchmark::State& state) {
  const auto story = Novel(static_cast<std::size_t>(state.range(0)));
  const CheckOptions options;
  DiagnosticSink lineChecks;
  const LinesChecked checked = CheckStoryLines(story->text, story->Lines(), story->Labels(), options, lineChecks);
  std::size_t found = 0;
  for (auto _ : state) {
    DiagnosticSink sink = lineChecks;
    FlagUse flags;
    const WalkResult walk = Walk(*story, options);
    CheckFlow(story->text, story->Lines(), story->Labels(), walk, checked, options, sink, flags);
    AddWaysIn(story->Lines(), walk, sink.Named());
    found = sink.Named().size();
  }
  state.counters["diagnostics"] = static_cast<double>(found);
}
BENCHMARK(WalkChecksAfterLines)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillshade::qsd

BENCHMARK_MAIN();
