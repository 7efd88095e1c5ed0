// The checks of a story: the line checks and the walk side by side, and a file loaded and checked.
#include "tools/qsd/lib/check.h"

#include <future>

#include "tools/qsd/lib/background.h"
#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/source_columns.h"
#include "tools/qsd/lib/story_loader.h"

namespace quillshade::qsd {

StoryReport CheckStoryText(std::u16string_view text, const CheckOptions& options) {
  return CheckStoryText(text, StoryLines(text), LabelIndex(text), options);
}

StoryReport CheckStoryText(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                           const CheckOptions& options) {
  StoryReport report;
  DiagnosticSink sink;
  if (text.empty()) {
    sink.Add("empty-story", 1, 1, 0, "the story is empty, so the reader refuses to load it");
  } else if (!lines.Terminated(1)) {
    sink.Add("no-line-break", 1, 1, lines.Text(1).size(), "the story has no line break, so the reader never shows any of it");
  } else {
    if (lines.HasUnbrokenTail())
      sink.Add("last-line-unbroken", lines.Count(), 1, lines.Text(lines.Count()).size(), "the last line has no line break after it, so it is never shown");
    if (!options.walk) {
      report.lineChecks = CheckStoryLines(text, lines, index, options, sink, options.keepLinesFor).memo;
      report.diagnostics = std::move(sink.All());
      return report;
    }
    // The walk needs nothing that the line checks find, so it runs beside them.
    std::future<WalkResult> walk = InBackground([&] {
      return WalkStoryLines(text, lines, index, options.maxStates, options.maxScan, options.stop);
    }, options.threads);
    LinesChecked checked = CheckStoryLines(text, lines, index, options, sink, options.keepLinesFor);
    report.lineChecks = std::move(checked.memo);
    WalkResult walked = walk.get();
    CheckFlow(text, lines, index, walked, checked, options, sink, report.flags);
    AddWaysIn(lines, walked, sink.Named());
    if (options.keepWalk) report.walk = std::make_shared<const WalkResult>(std::move(walked));
  }
  report.diagnostics = std::move(sink.All());
  return report;
}

Result<LoadedForCheck> LoadFileForCheck(const std::string& path, SourceEncoding encoding) {
  // A story file is read as the reader reads it, never held whole.
  const Result<bool> isStoryFile = IsStoryFile(path);
  if (!isStoryFile.ok()) return isStoryFile.error();
  const bool storyFile = isStoryFile.value();
  const Result<std::string> input = storyFile ? Result<std::string>(std::string()) : ReadInput(path);
  if (!input.ok()) return input.error();
  // The story's text is all the checks need: the file's bytes go once it is made.
  const std::string& bytes = input.value();
  return storyFile || KindOfStory(path, bytes) == StoryKind::StoryFile
             ? LoadForCheck(storyFile ? LoadStory(path, kMaxNamedProblems) : DecodeStoryBytes(bytes, kMaxNamedProblems))
             : LoadForCheck(bytes, encoding);
}

Result<std::u16string> LoadStoryText(const std::string& path, SourceEncoding encoding) {
  Result<LoadedForCheck> read = LoadFileForCheck(path, encoding);
  if (!read.ok()) return read.error();
  LoadedForCheck& loaded = read.value();
  if (!loaded.loaded || loaded.text.empty())
    return Failure{loaded.diagnostics.empty() ? std::string("the story is empty") : loaded.diagnostics.front().message};
  return std::move(loaded.text);
}

CheckedFile CheckFile(const std::string& path, SourceEncoding encoding, const CheckOptions& options) {
  CheckedFile file{path, {}, {}, false, {}};
  Result<LoadedForCheck> read = LoadFileForCheck(path, encoding);
  if (!read.ok()) {
    file.unreadable = read.error().message;
    return file;
  }
  LoadedForCheck loaded = std::move(read).value();
  file.diagnostics = std::move(loaded.diagnostics);
  if (!loaded.loaded) return file;
  StoryReport report = CheckStoryText(loaded.text, options);
  file.diagnostics.insert(file.diagnostics.end(), report.diagnostics.begin(), report.diagnostics.end());
  file.flags = report.flags;
  file.analysed = true;
  std::vector<Diagnostic*> placed;
  for (Diagnostic& diagnostic : file.diagnostics) {
    placed.push_back(&diagnostic);
    for (Diagnostic& folded : diagnostic.folded) placed.push_back(&folded);
  }
  for (Diagnostic& first : file.flags.firstSet) placed.push_back(&first);
  for (Diagnostic& first : file.flags.firstTest) placed.push_back(&first);
  PlaceInSource(loaded.text, loaded.replaced, placed);
  return file;
}

}  // namespace quillshade::qsd
