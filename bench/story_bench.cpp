// Benchmarks of loading and reading on generated stories of 1, 10 and 100 MB.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "bench/story_generator.h"
#include "story/choice.h"
#include "story/code_page.h"
#include "story/decode.h"
#include "story/line_interpreter.h"
#include "story/story_file.h"
#include "story/text.h"

namespace quillshade::bench {
namespace {

namespace fs = std::filesystem;

struct BenchStory {
  fs::path file;
  std::string fileBytes;
  std::u16string text;
};

// Story files live outside the repository, made once per size and kept between runs;
// QUILLSHADE_BENCH_DATA picks the folder.
fs::path DataDirectory() {
  if (const char* dir = std::getenv("QUILLSHADE_BENCH_DATA")) return dir;
  return fs::temp_directory_path() / "quillshade-bench";
}

// The file name the whole-process benchmark uses too: story-english-10mb.qsd.
std::string StoryFileName(StoryShape shape, std::int64_t megabytes) {
  return "story-" + std::string(ShapeName(shape)) + "-" + std::to_string(megabytes) + "mb.qsd";
}

const BenchStory& StoryOf(std::int64_t megabytes, StoryShape shape = StoryShape::JapaneseProse) {
  static std::map<std::pair<std::int64_t, StoryShape>, std::unique_ptr<BenchStory>> stories;
  auto& story = stories[{megabytes, shape}];
  if (story) return *story;
  story = std::make_unique<BenchStory>();
  story->fileBytes = GenerateStoryFile(static_cast<std::size_t>(megabytes) * 1000 * 1000, shape);
  fs::create_directories(DataDirectory());
  story->file = DataDirectory() / StoryFileName(shape, megabytes);
  std::error_code error;
  if (fs::file_size(story->file, error) != story->fileBytes.size()) {
    std::ofstream out(story->file, std::ios::binary);
    out.write(story->fileBytes.data(), static_cast<std::streamsize>(story->fileBytes.size()));
  }
  StoryFile loaded = ReadStoryFile(story->file, Cp932CodePage());
  if (loaded.status != StoryFileStatus::Loaded) throw std::runtime_error("the generated story does not load");
  story->text = std::move(loaded.text);
  return *story;
}

std::int32_t PositionAfter(std::u16string_view text, std::u16string_view lineStart) {
  const std::size_t at = text.find(std::u16string(u"\r\n") + std::u16string(lineStart));
  if (at == std::u16string_view::npos) throw std::runtime_error("the generated story lacks a line");
  return static_cast<std::int32_t>(at + 3);
}

void Sizes(benchmark::internal::Benchmark* bench) {
  bench->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
}

// Every size in every shape: the second argument is the shape (0 Japanese, 1 English,
// 2 the dense mix), named in the benchmark's label.
void SizesAndShapes(benchmark::internal::Benchmark* bench) {
  bench->ArgsProduct({{1, 10, 100}, {0, 1, 2}})->ArgNames({"MB", "shape"})->Unit(benchmark::kMillisecond);
}

const BenchStory& ShapedStory(benchmark::State& state) {
  const auto shape = static_cast<StoryShape>(state.range(1));
  state.SetLabel(std::string(ShapeName(shape)));
  return StoryOf(state.range(0), shape);
}

void CountTokens(benchmark::State& state, const BenchStory& story) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(story.fileBytes.size()));
  // Short tokens cost per token rather than per byte: codes decoded per second.
  state.counters["codes"] = benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(story.text.size()),
                                               benchmark::Counter::kIsRate);
}

// The whole load: the file read in chunks and decoded as it is read.
void BM_ReadStoryFile(benchmark::State& state) {
  const BenchStory& story = ShapedStory(state);
  for (auto _ : state) {
    StoryFile file = ReadStoryFile(story.file, Cp932CodePage());
    benchmark::DoNotOptimize(file.text.data());
  }
  CountTokens(state, story);
}
BENCHMARK(BM_ReadStoryFile)->Apply(SizesAndShapes);

// Decoding alone, from bytes already in memory.
void BM_DecodeCharCodes(benchmark::State& state) {
  const BenchStory& story = ShapedStory(state);
  for (auto _ : state) {
    std::u16string text = DecodeCharCodes(story.fileBytes, Cp932CodePage());
    benchmark::DoNotOptimize(text.data());
  }
  CountTokens(state, story);
}
BENCHMARK(BM_DecodeCharCodes)->Apply(SizesAndShapes);

// One Down step on a line in the middle of the story: it must not depend on the size.
void BM_DownStep(benchmark::State& state) {
  const BenchStory& bench = StoryOf(state.range(0));
  Story story;
  story.StoryText = bench.text;
  const std::int32_t middle =
      static_cast<std::int32_t>(FindLineBreak(story.StoryText, story.StoryText.size() / 2) + 3);
  for (auto _ : state) {
    story.ReadPos = middle;
    LineStep step = ReadNextLine(story);
    benchmark::DoNotOptimize(step);
  }
}
BENCHMARK(BM_DownStep)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kNanosecond);

// A jump near the start whose label is the last line: the search crosses the whole text.
void BM_JumpToLastLine(benchmark::State& state) {
  const BenchStory& bench = StoryOf(state.range(0));
  Story story;
  story.StoryText = bench.text;
  const std::int32_t jumpLine = PositionAfter(story.StoryText, u"[EPILOGUE]");
  const std::int32_t lastLine = PositionAfter(story.StoryText, kLastLabel);
  for (auto _ : state) {
    story.ReadPos = jumpLine;
    LineStep step = ReadNextLine(story);
    if (step.nextPos != lastLine - 2) state.SkipWithError("the jump missed the last line");
    benchmark::DoNotOptimize(step);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bench.text.size() * 2));
}
BENCHMARK(BM_JumpToLastLine)->Apply(Sizes);

// The yardstick for a jump: memchr over the same bytes for the byte value they hold least
// often, so the scan runs to the end with as few stops as the text allows.
void BM_MemchrScan(benchmark::State& state) {
  const BenchStory& bench = StoryOf(state.range(0));
  const auto* bytes = reinterpret_cast<const unsigned char*>(bench.text.data());
  const std::size_t size = bench.text.size() * 2;
  std::array<std::size_t, 256> count{};
  for (std::size_t i = 0; i < size; ++i) ++count[bytes[i]];
  int rarest = 0;
  for (int value = 1; value < 256; ++value)
    if (count[value] < count[rarest]) rarest = value;
  state.counters["stops"] = static_cast<double>(count[rarest]);
  for (auto _ : state) {
    std::size_t found = 0;
    const unsigned char* at = bytes;
    const unsigned char* end = bytes + size;
    while (at < end) {
      const void* hit = std::memchr(at, rarest, static_cast<std::size_t>(end - at));
      if (!hit) break;
      ++found;
      at = static_cast<const unsigned char*>(hit) + 1;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_MemchrScan)->Apply(Sizes);

// A choice whose label is the last line: the label search, then the step on that line.
void BM_ChoiceToLastLine(benchmark::State& state) {
  const BenchStory& bench = StoryOf(state.range(0));
  Story story;
  story.StoryText = bench.text;
  std::u16string choices = u"[S1],";
  choices += kLastLabel;
  for (auto _ : state) {
    story.ChoiceList = choices;
    std::optional<std::u16string_view> shown = ChooseBranch(story, 1);
    if (!shown) state.SkipWithError("the choice found no line");
    benchmark::DoNotOptimize(shown);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bench.text.size() * 2));
}
BENCHMARK(BM_ChoiceToLastLine)->Apply(Sizes);

}  // namespace
}  // namespace quillshade::bench
