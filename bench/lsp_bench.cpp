// The language server on a 10,000-line story: diagnostics after each kind of keystroke
// (also at 100,000 lines), and the answers an editor waits for while typing (definition,
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

// The kinds of keystroke the benchmarks below type, each in the middle of the story and
// undone by the next one (a backspace is a keystroke too), so that the text keeps its size.
enum class Keystroke { Prose, LineBreak, Label, JumpTarget, ChoiceMarker, End };

// Where a keystroke of the kind goes, and what it types; the text is prepared first where
// the kind needs it (END is typed at the end of ":: EN").
struct KeystrokePlace {
  Position at;
  std::u16string typed;
};

KeystrokePlace PlaceFor(Keystroke kind, DocumentText& text) {
  const std::u16string& source = text.Text();
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 0; i < source.size(); ++i)
    if (source[i] == u'\n') starts.push_back(i + 1);
  const auto lineText = [&](std::size_t line) {
    const std::size_t end = line + 1 < starts.size() ? starts[line + 1] - 1 : source.size();
    return std::u16string_view(source).substr(starts[line], end - starts[line]);
  };
  // The first line from the middle on that `fits`.
  const auto find = [&](auto fits) {
    for (std::size_t line = starts.size() / 2; line < starts.size(); ++line)
      if (fits(lineText(line))) return line;
    return starts.size() / 2;
  };
  const auto prose = [](std::u16string_view line) {
    return line.size() > 10 && line[0] != u'[' && line.find(u">>") == line.npos && line.find(u"??") == line.npos &&
           line.find(u"::") == line.npos;
  };
  const auto at = [](std::size_t line, std::size_t column) {
    return Position{static_cast<std::int64_t>(line), static_cast<std::int64_t>(column)};
  };
  switch (kind) {
    case Keystroke::Prose: return {at(find(prose), 3), u"x"};
    case Keystroke::LineBreak: return {at(find(prose), 3), u"\n"};
    case Keystroke::Label: return {at(find([](std::u16string_view line) { return line.starts_with(u"[S"); }), 0), u"x"};
    case Keystroke::JumpTarget: {
      const std::size_t line = find([](std::u16string_view jump) { return jump.find(u">>[S") != jump.npos; });
      return {at(line, lineText(line).find(u']')), u"x"};
    }
    case Keystroke::ChoiceMarker: {
      // A line that asks, as a choice line does, with one '?' short of its marker.
      const std::size_t line = find(prose);
      const std::u16string asking = u" ?[S1],[S2]";
      const Position end = at(line, lineText(line).size());
      text.Replace({end, end}, asking);
      return {at(line, end.character + 1), u"?"};
    }
    case Keystroke::End: {
      const std::size_t line = find(prose);
      const Position end = at(line, lineText(line).size());
      text.Replace({end, end}, u" :: EN");
      return {at(line, end.character + 6), u"D"};
    }
  }
  return {};
}

// Everything between a keystroke in the middle and the diagnostics going out, as the
// server does it: the edit applied, the story of the new text made from the last
// version's, its line checks started from the version before and published, then (for
// everything) every check with the walk, which starts from those line checks.
// Arguments: the story's lines, and the kind of keystroke. Besides the mean, each
// keystroke's time gives the median, the 95th percentile and the worst.
void AfterAChange(benchmark::State& state, bool linesOnly) {
  const auto lines = static_cast<std::size_t>(state.range(0));
  DocumentText text(SourceText(lines));
  const KeystrokePlace place = PlaceFor(static_cast<Keystroke>(state.range(1)), text);
  const Position after{place.at.line + (place.typed == u"\n" ? 1 : 0),
                       place.typed == u"\n" ? 0 : place.at.character + static_cast<std::int64_t>(place.typed.size())};
  std::int64_t version = 1;
  std::shared_ptr<const LineCheckMemo> earlier;
  std::shared_ptr<const StoryDocument> story = StoryDocumentOf("file:///novel.txt", version, text, true, nullptr);
  const auto publish = [](const DiagnosisResult& result) {
    benchmark::DoNotOptimize(DiagnosticsJson(*result.story, result.report.diagnostics).dump());
  };
  std::vector<double> times;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    // Typed, then taken back.
    if (version % 2 == 1) text.Replace({place.at, place.at}, place.typed);
    else text.Replace({place.at, after}, u"");
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
  state.counters["worst_ms"] = times.back();
  state.counters["lines"] = static_cast<double>(std::count(text.Text().begin(), text.Text().end(), u'\n'));
  // The index of line beginnings that the last version carries for the next "did you mean".
  if (earlier && earlier->suggestions.index)
    state.counters["suggestions_kb"] = static_cast<double>(LabelSuggester::Bytes(*earlier->suggestions.index)) / 1024;
}
void LineChecksAfterAChange(benchmark::State& state) { AfterAChange(state, true); }
void DiagnosticsAfterAChange(benchmark::State& state) { AfterAChange(state, false); }
// Each kind of keystroke at 100,000 lines, and prose at 10,000.
void EveryKeystroke(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"lines", "kind"})->Args({10'000, 0});
  for (int kind = 0; kind <= static_cast<int>(Keystroke::End); ++kind) benchmark->Args({100'000, kind});
  benchmark->MinTime(2)->Unit(benchmark::kMillisecond);
}
BENCHMARK(LineChecksAfterAChange)->Apply(EveryKeystroke);
BENCHMARK(DiagnosticsAfterAChange)->Apply(EveryKeystroke);

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
  for (auto _ : state) benchmark::DoNotOptimize(LensesJson(*checked.story, *checked.walk, {}).dump());
}
BENCHMARK(LensesOfAWalkedStory)->Arg(100'000)->Unit(benchmark::kMillisecond);

// The outline an editor asks for after nearly every change, as the bytes sent: a story
// of a quarter labelled lines, as a writer's long story is. Argument: the story's lines.
void OutlineOfALongStory(benchmark::State& state) {
  const auto story = StoryDocumentOf("file:///novel.txt", 1, SourceText(static_cast<std::size_t>(state.range(0))), true);
  std::size_t bytes = 0;
  for (auto _ : state) bytes = SymbolsJsonText(*story).size();
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(OutlineOfALongStory)->Arg(100'000)->Unit(benchmark::kMillisecond);

// The colours of every line, which an editor asks for after every change (and is sent
// as edits of the last ones). Argument: the story's lines.
void ColoursOfALongStory(benchmark::State& state) {
  const auto story = StoryDocumentOf("file:///novel.txt", 1, SourceText(static_cast<std::size_t>(state.range(0))), true);
  for (auto _ : state) benchmark::DoNotOptimize(SemanticTokenData(*story).size());
}
BENCHMARK(ColoursOfALongStory)->Arg(100'000)->Unit(benchmark::kMillisecond);

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

// The colours of the next version made from the last one's: only the changed line is read.
void ColoursOfTheNextVersion(benchmark::State& state) {
  const auto lines = static_cast<std::size_t>(state.range(0));
  DocumentText text(SourceText(lines));
  std::shared_ptr<const StoryDocument> story = StoryDocumentOf("file:///novel.txt", 1, text, true, nullptr);
  std::vector<std::uint32_t> data = SemanticTokenData(*story);
  const auto middle = static_cast<std::int64_t>(lines / 2);
  std::int64_t version = 1;
  for (auto _ : state) {
    state.PauseTiming();
    text.Replace({{middle, 3}, {middle, 3}}, u"x");
    auto next = StoryDocumentOf("file:///novel.txt", ++version, text, true, story.get());
    state.ResumeTiming();
    data = SemanticTokenData(*next, story, data);
    story = std::move(next);
  }
  state.counters["numbers"] = static_cast<double>(data.size());
}
BENCHMARK(ColoursOfTheNextVersion)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillshade::qsd::lsp

BENCHMARK_MAIN();
