// The checks of a story: loading it with its diagnostics, running every check, judging files together.
#include "tools/qsd/lib/check.h"

#include <algorithm>
#include <future>
#include <tuple>

#include "tools/qsd/lib/background.h"
#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/story_loader.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {


namespace {

using enum Severity;


void AddTokenDiagnostics(const LoadedStory& story, DiagnosticSink& sink) {
  const StoryLines lines(story.text);
  for (const PlacedToken& placed : story.badTokens) {
    std::size_t line = 1;
    std::size_t column = 1;
    if (lines.Count() > 0) {
      line = lines.LineOf(placed.storyIndex);
      column = placed.storyIndex - lines.Start(line) + 1;
    }
    sink.Add("invalid-token", line, column, 0,
             "the token '" + placed.excerpt + "' (file line " + std::to_string(placed.fileLine) + ", column " +
                 std::to_string(placed.fileColumn) + ") " + FaultText(placed.token.fault) + ": it adds nothing");
  }
  if (story.badTokenCount > story.badTokens.size())
    sink.Add("invalid-token", 1, 1, 0,
             std::to_string(story.badTokenCount - story.badTokens.size()) + " more invalid tokens are not named");
}

}  // namespace

LoadedForCheck LoadForCheck(LoadedStory story) {
  DiagnosticSink sink;
  LoadedForCheck loaded;
  if (story.status != StoryFileStatus::Loaded) {
    sink.Add("empty-story", 1, 1, 0, std::string("the reader cannot load it: ") + Describe(story.status));
  } else {
    AddTokenDiagnostics(story, sink);
    loaded.text = std::move(story.text);
    loaded.loaded = true;
  }
  loaded.diagnostics = std::move(sink.All());
  return loaded;
}

LoadedForCheck LoadForCheck(std::string_view source, SourceEncoding encoding) {
  DiagnosticSink sink;
  LoadedForCheck loaded;
  SourceResult decoded = ReadTextSource(source, encoding);
  if (const auto* problem = std::get_if<SourceProblem>(&decoded)) {
    sink.Add("encoding", static_cast<std::size_t>(problem->place.line),
             static_cast<std::size_t>(problem->place.column), 0, problem->message);
  } else {
    // The story exactly as the reader would hold it once the source is encoded.
    loaded.text = std::move(std::get<std::u16string>(decoded));
    for (const Unencodable& bad : MakeReaderText(loaded.text))
      sink.Add("unencodable", static_cast<std::size_t>(bad.place.line), static_cast<std::size_t>(bad.place.column),
               bad.character > 0xFFFF ? 2 : 1,
               DescribeCharacter(bad.character) + " cannot be written in code page 932");
    loaded.loaded = true;
  }
  loaded.diagnostics = std::move(sink.All());
  return loaded;
}

LoadedForCheck LoadFileForCheck(const std::string& path, SourceEncoding encoding, std::optional<std::string>& unreadable) {
  // A story file is read as the reader reads it, never held whole.
  const bool storyFile = IsStoryFile(path);
  InputFile input = storyFile ? InputFile{} : ReadInput(path);
  if (input.error) {
    unreadable = *input.error;
    return {};
  }
  // The story's text is all the checks need: the file's bytes go once it is made.
  return storyFile || LooksLikeStoryFile(input.bytes)
             ? LoadForCheck(storyFile ? LoadStory(path, kMaxNamedProblems)
                                      : DecodeStoryBytes(input.bytes, kMaxNamedProblems))
             : LoadForCheck(input.bytes, encoding);
}

CheckedFile CheckFile(const std::string& path, SourceEncoding encoding, const CheckOptions& options) {
  CheckedFile file{path, {}, {}, false, {}};
  LoadedForCheck loaded = LoadFileForCheck(path, encoding, file.unreadable);
  if (file.unreadable) return file;
  file.diagnostics = std::move(loaded.diagnostics);
  if (!loaded.loaded) return file;
  StoryReport report = CheckStoryText(loaded.text, options);
  file.diagnostics.insert(file.diagnostics.end(), report.diagnostics.begin(), report.diagnostics.end());
  file.flags = report.flags;
  file.analysed = true;
  return file;
}


const std::vector<CheckInfo>& AllChecks() {
  static const std::vector<CheckInfo> checks{
      {"empty-story", Error, "the story decodes to no character at all, so the reader refuses to load it"},
      {"encoding", Error, "a text source that is not valid UTF-8 (or code page 932 with --from cp932), or binary"},
      {"unencodable", Error, "a character of a text source that code page 932 cannot hold"},
      {"invalid-token", Error, "a token of a story file that is no number or no character: it adds nothing"},
      {"no-line-break", Error, "the story has no line break at all, so the reader shows none of it"},
      {"last-line-unbroken", Warning, "the last line has no line break after it, so it is never shown"},
      {"missing-label", Error, "a jump's target, or a label of a jump on a flag, that no line begins with"},
      {"missing-choice-label", Error, "a choice label that no line begins with: choosing it stops the story"},
      {"first-line-label", Error, "a label that only line 1 begins with: no line break precedes line 1, so it is never found"},
      {"shadowed-label", Warning, "an earlier, longer line begins with the label too, and it wins"},
      {"empty-target", Warning, "an empty jump target (or label) matches the first line break: reading goes on at line 2"},
      {"one-label-conditional", Warning, "a jump on a flag with one label: when the flag is not set, its target is empty"},
      {"lowercase-conditional", Warning, "'>>a' .. '>>e' is a plain jump, probably meant as a jump on a flag"},
      {"target-taken-as-conditional", Warning, "a plain target beginning with A..E is taken as a jump on that flag"},
      {"misplaced-conditional", Warning, "'>>A'..'>>E' later in the line turns the first '>>' into a jump on a flag"},
      {"label-leading-space", Warning, "a label that begins with a space matches only lines that begin with one"},
      {"keyword-in-word", Warning, "a command keyword inside a longer word (DONE sets flag D, WEEKEND ends the story)"},
      {"unknown-command", Warning, "a word in the commands that holds no keyword and does nothing"},
      {"set-and-cleared", Warning, "a flag both set and cleared on one line: clearing wins"},
      {"end-with-jump", Warning, "END together with a jump: the jump is never followed"},
      {"jump-with-choice", Warning, "a jump on a choice line: the choice decides where reading goes on"},
      {"empty-choice", Warning, "an empty choice field: its key does nothing"},
      {"too-many-choices", Warning, "more than five choices: only keys 1 to 5 answer"},
      {"full-width-marker", Warning, "'＞＞', '？？', '：：', '［', '，' or '、' where the script marker would act: the reader shows it as text"},
      {"marker-in-choices", Warning, "'::' or '>>' after '\?\?' is part of the choice list, not a command or jump"},
      {"answer-runs-on", Warning, "an answer's lines read on by Down into the line of another answer of the same choice"},
      {"same-choice-target", Warning, "every answer of a choice leads to the same line"},
      {"unclosed-prefix", Warning, "'[' without ']': the whole line is shown, '[' included"},
      {"too-wide", Warning, "a shown line wider than the title bar (--width; full-width characters count two)"},
      {"unreachable", Warning, "lines that no way through the story reaches"},
      {"endless-loop", Warning, "a loop that Down can go round forever, with no choice and no END on it"},
      {"flag-never-tested", Warning, "a flag that is set but never tested (D and E: by none of the stories checked)"},
      {"flag-never-set", Warning, "a flag that is tested but never set (D and E: by none of the stories checked)"},
      {"walk-limit", Warning, "the walk stopped at --max-states or --max-scan, so its checks were not made"},
  };
  return checks;
}

DiagnosticSink::Kind& DiagnosticSink::KindOf(std::string_view check) {
  const auto known = kinds_.find(check);
  if (known != kinds_.end()) return known->second;
  Kind kind;
  kind.name = check;
  for (const CheckInfo& info : AllChecks())
    if (info.name == check) {
      kind.name = info.name;
      kind.severity = info.severity;
    }
  return kinds_.emplace(kind.name, std::move(kind)).first->second;
}

Diagnostic& DiagnosticSink::Add(std::string_view check, std::size_t line, std::size_t column, std::size_t length,
                                std::string message) {
  Kind& kind = KindOf(check);
  Diagnostic diagnostic{static_cast<std::int64_t>(line), static_cast<std::int64_t>(column),
                        static_cast<std::int64_t>(length), kind.severity, std::move(message), kind.name, {}, {}};
  if (kind.named++ < kMaxNamedProblems) return diagnostics_.emplace_back(std::move(diagnostic));
  if (kind.unnamed++ == 0) kind.firstUnnamed = std::move(diagnostic);
  dropped_ = Diagnostic{};
  return dropped_;
}

bool DiagnosticSink::Names(std::string_view check) const {
  const auto found = kinds_.find(check);
  return found == kinds_.end() || found->second.named < kMaxNamedProblems;
}

std::vector<Diagnostic>& DiagnosticSink::All() {
  for (auto& [check, kind] : kinds_) {
    if (kind.unnamed == 0) continue;
    Diagnostic first = std::move(kind.firstUnnamed);
    first.message = std::to_string(kind.unnamed) + " more problems of this kind are not named";
    first.length = 0;
    diagnostics_.push_back(std::move(first));
    kind.unnamed = 0;
  }
  return diagnostics_;
}

std::string FormatDiagnostic(std::string_view file, const Diagnostic& diagnostic) {
  return std::string(file) + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) + ": " +
         (diagnostic.severity == Error ? "error" : "warning") + ": " + diagnostic.message + " [" +
         std::string(diagnostic.check) + "]";
}

StoryReport CheckStoryText(std::u16string_view text, const CheckOptions& options) {
  StoryReport report;
  DiagnosticSink sink;
  const StoryLines lines(text);
  if (text.empty()) {
    sink.Add("empty-story", 1, 1, 0, "the story is empty, so the reader refuses to load it");
  } else if (!lines.Terminated(1)) {
    sink.Add("no-line-break", 1, 1, lines.Text(1).size(), "the story has no line break, so the reader never shows any of it");
  } else {
    if (lines.HasUnbrokenTail())
      sink.Add("last-line-unbroken", lines.Count(), 1, lines.Text(lines.Count()).size(), "the last line has no line break after it, so it is never shown");
    const LabelIndex index(text);
    // The walk needs nothing that the line checks find, so it runs beside them.
    std::future<WalkResult> walk = InBackground([&] {
      return WalkStoryLines(text, lines, index, options.maxStates, options.maxScan, options.stop);
    });
    const LinesToRevisit revisit = CheckLines(text, lines, index, options, sink);
    CheckAnswersRunOn(lines, index, revisit.choices, sink);
    CheckFullWidthMarkers(lines, index, revisit.fullWidth, sink);
    const WalkResult walked = walk.get();
    CheckFlow(text, lines, walked, revisit.tooWide, options, sink, report.flags);
    AddWaysIn(lines, walked, sink.Named());
  }
  report.diagnostics = std::move(sink.All());
  return report;
}

void ReportFlagUse(const FlagUse& use, FlagBits judged, FlagBits setAnywhere, FlagBits testedAnywhere, bool carried,
                   DiagnosticSink& sink) {
  // "flag A is set here, but ...", at the place where the story first does it.
  const auto report = [&sink](std::string_view check, const Diagnostic& place, std::size_t flag, std::string_view done,
                              std::string_view why) {
    sink.Add(check, static_cast<std::size_t>(place.line), static_cast<std::size_t>(place.column),
             static_cast<std::size_t>(place.length),
             "flag " + std::string(1, static_cast<char>(kFlagLetters[flag])) + " is " + std::string(done) +
                 " here, but " + std::string(why))
        .wayIn = place.wayIn;
  };
  for (std::size_t flag = 0; flag < kFlagCount; ++flag) {
    const auto bit = 1u << flag;
    if (!(judged & bit)) continue;
    if ((use.set & bit) && !(testedAnywhere & bit))
      report("flag-never-tested", use.firstSet[flag], flag, "set",
             carried ? "no story checked with this one tests it (it carries over: check the next story together "
                       "with this one)"
                     : "no jump that reading reaches tests it");
    if ((use.tested & bit) && !(setAnywhere & bit))
      report("flag-never-set", use.firstTest[flag], flag, "tested",
             carried ? "no story checked with this one sets it (it carries over: check the earlier story together "
                       "with this one)"
                     : "no line that reading reaches sets it: the jump always takes its second label");
  }
}

std::vector<std::vector<Diagnostic>> JudgeCarriedFlags(const std::vector<FlagUse>& stories) {
  FlagBits anySet = 0;
  FlagBits anyTested = 0;
  for (const FlagUse& use : stories) {
    anySet = static_cast<FlagBits>(anySet | use.set);
    anyTested = static_cast<FlagBits>(anyTested | use.tested);
  }
  std::vector<std::vector<Diagnostic>> found(stories.size());
  for (std::size_t i = 0; i < stories.size(); ++i) {
    DiagnosticSink sink;
    ReportFlagUse(stories[i], kCarriedFlags, anySet, anyTested, true, sink);
    found[i] = std::move(sink.All());
  }
  return found;
}

void JudgeFilesTogether(std::vector<CheckedFile>& files) {
  std::vector<FlagUse> uses;
  for (const CheckedFile& file : files)
    if (file.analysed) uses.push_back(file.flags);
  std::vector<std::vector<Diagnostic>> carried = JudgeCarriedFlags(uses);
  std::size_t next = 0;
  for (CheckedFile& file : files) {
    if (file.analysed) {
      auto& more = carried[next++];
      file.diagnostics.insert(file.diagnostics.end(), more.begin(), more.end());
    }
    std::stable_sort(file.diagnostics.begin(), file.diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
      return std::tie(a.line, a.column) < std::tie(b.line, b.column);
    });
  }
}

}  // namespace quillshade::qsd
