// qsd play: the reader in a terminal, interactive or driven by a string of keys.
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "story/choice.h"
#include "story/code_page.h"
#include "story/text.h"
#include "story/utf8.h"
#include "tools/qsd/commands/command.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/json.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/walk.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/plan.h"
#include "tools/qsd/lib/platform.h"
#include "tools/qsd/lib/story_loader.h"
#include "ui/form.h"
#include "ui/term/terminal_window.h"

namespace quillshade::qsd {

const Command kPlayCommand{
    "play",
    "read a story as the reader shows it, in the terminal",
    "usage: qsd play [--trace] [--title] [--flags FLAGS] [--to LINE] [--keys KEYS]\n"
    "                [--record PLAN] STORY [MORE ...]\n"
    "\n"
    "Loads STORY as File > Open does. Every later Open takes the next file named,\n"
    "and acts as a cancelled dialog once none is left. A text source (see `qsd help`)\n"
    "is encoded as `qsd encode` would before any key, and a fault in it stops the\n"
    "run. A story file is read as the reader reads it.\n"
    "\n"
    "Without --keys, on a terminal: Down, Enter or j reads on, 1..5 answer a choice,\n"
    "Space minimises (any key brings the line back), o opens, q or Esc quits.\n"
    "\n"
    "  --keys KEYS  press these keys, one character each: d Down, 1..5 a choice key,\n"
    "               o File > Open; prints each caption shown, one per line\n"
    "  --trace      with --keys: print the whole state after the load and each key,\n"
    "               one JSON object per line:\n"
    "               {\"key\", \"caption\", \"readPos\", \"choiceList\", \"flags\", \"message\"}\n"
    "  --title      interactive: show the story in the terminal window's title\n"
    "  --flags FLAGS  D, E or DE: start with these flags set, as they arrive from an\n"
    "               earlier story (a load keeps them); `qsd check` and `qsd endings`\n"
    "               name it where a way in needs them\n"
    "  --to LINE    first play the shortest way in to the first step that shows line\n"
    "               LINE of STORY, with the flags it needs arriving set, as if its keys\n"
    "               came first in --keys; stderr says which keys; then go on\n"
    "               interactively, or with --keys. A line no reader reaches fails\n"
    "               the run, with what the walk knows of why\n"
    "  --record PLAN  write what was played to the file PLAN, once the reader quits or\n"
    "               every key has run: the flags that arrived, the load and each key\n"
    "               (the way in of --to too), with the caption it showed, one a line;\n"
    "               `qsd test` replays it. One STORY only\n"
    "\n"
    "Exit status: 0 when every key ran; 1 when a text source cannot be played, the\n"
    "line of --to is not reached, or (once every key has run, or the reader quit) a\n"
    "story could not be loaded, its reason on stderr; 2 on wrong arguments, and a\n"
    "line of --to that the story does not have.\n",
    RunPlay,
};

namespace {

using TextSources = std::map<std::filesystem::path, std::u16string>;

struct PlayOptions {
  bool trace = false;
  bool title = false;
  std::optional<std::string> keys;
  FlagBits arriving = 0;  // --flags: D and E, set before the first load
  bool flagsGiven = false;
  std::optional<std::size_t> to;  // --to: a story line, 1-based
  std::optional<std::string> record;  // --record: the plan file to write
  std::deque<std::filesystem::path> stories;
};

int KeyCodeOf(char key) {
  if (key == 'd') return keys::kDown;
  if (key >= '1' && key <= '5') return keys::k1 + (key - '1');
  return 0;
}

bool IsKnownKey(char key) { return key == 'o' || KeyCodeOf(key) != 0; }

std::string TraceLine(const Form& form, std::string_view key, const std::optional<std::u16string>& message) {
  const Story& story = form.story;
  Json flags = Json::array();
  for (std::size_t flag = 0; flag < kFlagCount; ++flag) flags.push_back(story.Flag(flag));
  const Json trace{
      {"key", std::string(key)},
      {"caption", JsonText(form.caption)},
      {"readPos", story.ReadPos},
      {"choiceList", JsonText(story.ChoiceList)},
      {"flags", flags},
      {"message", message ? JsonText(*message) : Json()},
  };
  return SpacedJson(trace) + "\n";
}

// Why the reader refused the story file it was just given, read again to find out.
std::string WhyNotLoaded(const std::string& path) {
  const Result<void> loads = CheckStoryLoads(path);
  return loads.ok() ? std::string("it changed while it was read") : loads.error().message;
}

// One step done: print what it left, and say on stderr which file failed to load and
// why. Answers whether a load failed.
bool Report(const PlayOptions& options, const Form& form, TerminalWindow& window, std::string_view key) {
  const std::optional<std::u16string> message = window.TakeMessage();
  const std::string out = options.trace ? TraceLine(form, key, message) : ToUtf8(form.caption) + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (!message || *message != kLoadFailedText || !window.LastOpened()) return false;
  const std::string path = Utf8FromPath(*window.LastOpened());
  std::fflush(stdout);
  std::fprintf(stderr, "qsd play: %s: cannot be loaded as a story: %s\n", path.c_str(), WhyNotLoaded(path).c_str());
  return true;
}

// Says, once, why the story stopped, at the key where it stops: the step's line is
// asked what it did, as the walk asks it.
class StopWatch {
 public:
  // Before a key: the reader as it stands.
  void Before(const Story& story) {
    text_ = story.StoryText.data();
    length_ = story.StoryText.size();
    readPos_ = story.ReadPos;
    choices_ = story.ChoiceList;
  }

  // After it (its code for Form_KeyDown, 0 for File > Open): the message that says why
  // the story stopped, if this key stopped it.
  std::optional<std::string> After(const Story& story, int keyCode, const std::optional<std::filesystem::path>& file) {
    const std::u16string_view text = story.StoryText;
    // A load holds a new text, and its first step reads from the start.
    const bool loaded = text.data() != text_ || text.size() != length_;
    std::optional<std::int32_t> begin;
    std::optional<std::pair<std::int32_t, std::size_t>> missingAnswer;  // the choice's line, the key
    if (loaded) {
      begin = 1;
    } else if (keyCode == keys::kDown && !ChoicePending(choices_) && readPos_ > 0) {
      begin = readPos_;
    } else if (const int key = ChoiceIndexOfKey(keyCode); key >= 0 && ChoicePending(choices_)) {
      const ChoiceAnswer answer = AnswerOf(text, choices_, key);
      if (!answer.Taken()) return std::nullopt;  // the key does nothing
      if (answer.resumePos > 0) begin = answer.resumePos;
      else missingAnswer.emplace(choiceAt_, static_cast<std::size_t>(key));
    }
    if (!begin && !missingAnswer) return std::nullopt;
    if (ChoicePending(story.ChoiceList) && begin) choiceAt_ = *begin;
    if (story.ReadPos > 0 || ChoicePending(story.ChoiceList) || text.empty()) return std::nullopt;
    const StoryLines lines(text);
    const StopPlace place = missingAnswer ? ExplainChoiceStop(text, lines, missingAnswer->first, missingAnswer->second)
                                          : ExplainStop(text, lines, *begin, FlagsOf(story));
    const std::string line = std::to_string(place.line);
    std::string why;
    switch (place.kind) {
      case StopKind::End: why = "END on line " + line; break;
      case StopKind::MissingLabel: why = "no line begins with " + Quote(place.label) + " (the jump on line " + line + ")"; break;
      case StopKind::MissingChoiceLabel:
        why = "no line begins with " + Quote(place.label) + " (answer " + std::to_string(missingAnswer->second + 1) +
              " of the choice on line " + line + ")";
        break;
      case StopKind::EndOfText:
        why = lines.Terminated(lines.Count()) ? "the text ends after line " + line
                                              : "line " + line + " has no line break after it, so reading stops before it";
        break;
    }
    const std::string name = file ? Utf8FromPath(*file) + ": " : std::string();
    return "qsd play: " + name + "the story stopped at key " + std::to_string(keyNumber_) + ": " + why;
  }

  void Count() { ++keyNumber_; }

 private:
  const char16_t* text_ = nullptr;
  std::size_t length_ = 0;
  std::int32_t readPos_ = 0;
  std::u16string choices_;
  std::int32_t choiceAt_ = 1;  // where the step that left the pending choice began
  std::size_t keyNumber_ = 0;  // 0: the load
};

// The text sources among the stories, encoded before any key as `qsd encode` would;
// what encoding says goes to stderr. Answers false when one of them cannot be played.
bool EncodeTextSources(const std::deque<std::filesystem::path>& stories, TextSources& sources) {
  bool playable = true;
  for (const std::filesystem::path& story : stories) {
    const std::string path = Utf8FromPath(story);
    // The keys may come from stdin, so "-" is a file name here like any other.
    if (path == "-" || KindOfStoryFile(path) != StoryKind::TextSource || sources.count(story)) continue;
    const Result<std::string> input = ReadInput(path);
    if (!input.ok()) {
      std::fprintf(stderr, "qsd play: %s: %s\n", path.c_str(), input.error().message.c_str());
      playable = false;
      continue;
    }
    EncodedSource source = EncodeSource(input.value(), SourceEncoding::Utf8, /*lossy=*/false);
    for (SourceNote& note : source.notes) {
      // play has no --from: a text source in code page 932 is encoded first.
      if (note.message.ends_with(kTryCp932))
        note.message.replace(note.message.size() - kTryCp932.size(), kTryCp932.size(),
                             " (a text source plays as UTF-8; `qsd encode --from cp932` makes a story file of it)");
      std::fprintf(stderr, "%s\n", FormatSourceNote(path, note).c_str());
    }
    if (source.Refused()) playable = false;
    // A source that encodes without a fault decodes to exactly its own text, which is
    // what the reader holds after loading the encoded story.
    else sources.emplace(story, std::move(source.text));
  }
  return playable;
}

// The form's read step for `qsd play`: text sources from memory, story files as the reader reads them.
void ReadTextSourcesFromMemory(Form& form, const TextSources& sources) {
  form.readStoryFile = [&sources](const std::filesystem::path& path, const CodePage& page) {
    const auto found = sources.find(path);
    if (found == sources.end()) return ReadStoryFile(path, page);
    if (found->second.size() > kMaxStoryLength) return StoryFile{StoryFileStatus::TooLong, {}};
    return StoryFile{StoryFileStatus::Loaded, found->second};
  };
}

// What was played, written down as a plan once the run ends.
class Recorder {
 public:
  explicit Recorder(const PlayOptions& options) : path_(options.record) { plan_.arriving = options.arriving; }

  // After the load (key '\0') or a key as --keys names it; other keys are not written.
  void Step(char key, const std::u16string& caption) {
    if (path_) plan_.steps.push_back({key, caption});
  }
  void KeyCode(int keyCode, const std::u16string& caption) {
    if (keyCode == 0) Step('o', caption);
    else if (keyCode == keys::kDown) Step('d', caption);
    else if (const int choice = ChoiceIndexOfKey(keyCode); choice >= 0) Step(static_cast<char>('1' + choice), caption);
  }
  // Answers false, once said on stderr, when the plan cannot be written.
  bool Write(const std::filesystem::path& story) const {
    if (!path_) return true;
    const Result<void> written = WriteOutput(*path_, FormatPlan(plan_, Utf8FromPath(story.filename())));
    if (written.ok()) return true;
    std::fprintf(stderr, "qsd play: %s: %s\n", path_->c_str(), written.error().message.c_str());
    return false;
  }

 private:
  std::optional<std::string> path_;
  Plan plan_;
};

// The options and stories of one run; a status when the command should stop at once.
// Help before "--" wins over every other argument, even one that is wrong.
std::optional<int> Parse(const Arguments& args, PlayOptions& options) {
  const auto takeKeys = [&options](const std::string& keys) -> std::optional<std::string> {
    options.keys = keys;
    for (const char key : keys)
      if (!IsKnownKey(key)) return std::string("unknown key '") + key + "' in --keys (use d, 1-5, o)";
    return std::nullopt;
  };
  const auto takeFlags = [&options](const std::string& letters) -> std::optional<std::string> {
    options.arriving = 0;
    options.flagsGiven = true;
    for (const char letter : letters) {
      const std::size_t flag = kFlagLetters.find(static_cast<char16_t>(letter));
      if (flag == std::u16string_view::npos || !(kCarriedFlags & (1u << flag)))
        return std::string("--flags takes D, E or DE: only those arrive set from an earlier story");
      options.arriving = static_cast<FlagBits>(options.arriving | (1u << flag));
    }
    return std::nullopt;
  };
  const auto takeTo = [&options](const std::string& line) -> std::optional<std::string> {
    std::size_t number = 0;
    for (const char digit : line) {
      // Nine digits are more lines than a story can hold.
      if (digit < '0' || digit > '9' || number > 99'999'999) return "--to takes a line number, not '" + line + "'";
      number = number * 10 + static_cast<std::size_t>(digit - '0');
    }
    if (line.empty() || number == 0) return "--to takes a line number from 1, not '" + line + "'";
    options.to = number;
    return std::nullopt;
  };
  const std::vector<Option> known{
      BareSwitch("--trace", options.trace),
      BareSwitch("--title", options.title),
      Option{.names = {"--keys"}, .needs = "--keys needs a string of keys", .take = takeKeys},
      Option{.names = {"--flags"}, .needs = "--flags needs D, E or DE", .take = takeFlags},
      Option{.names = {"--to"}, .needs = "--to needs a line number", .take = takeTo},
      Option{.names = {"--record"}, .needs = "--record needs a plan file to write",
             .take = [&options](const std::string& plan) -> std::optional<std::string> {
               if (plan.empty()) return "--record needs a plan file to write";
               options.record = plan;
               return std::nullopt;
             }},
  };
  std::vector<std::string> stories;
  if (const auto status = ReadArguments(kPlayCommand, args, known, stories, HelpRule::First)) return status;
  for (const std::string& story : stories) options.stories.push_back(PathFromUtf8(story));
  if (options.stories.empty()) return UsageError(kPlayCommand, "no story file named");
  if (options.trace && !options.keys) return UsageError(kPlayCommand, "--trace needs --keys");
  // A plan replays one story: a second would be opened by a key the replay cannot follow.
  if (options.record && options.stories.size() > 1) return UsageError(kPlayCommand, "--record plays one story");
  // The way in decides which flags arrive set.
  if (options.to && options.flagsGiven)
    return UsageError(kPlayCommand, "--to sets the flags its way in needs: give no --flags");
  if (!options.keys)
    if (const Result<void> interactive = CheckInteractivePlay(); !interactive.ok())
      return UsageError(kPlayCommand, interactive.error().message + ": give the keys with --keys");
  return std::nullopt;
}

// The keys and flags of the shortest way in to line `options.to` of the first story,
// told on stderr; a status when the command should stop at once.
std::optional<int> FindWayTo(const PlayOptions& options, const TextSources& sources, WayIn& way) {
  const std::filesystem::path& story = options.stories.front();
  const std::string path = Utf8FromPath(story);
  const auto source = sources.find(story);
  StoryFile file = source != sources.end() ? StoryFile{StoryFileStatus::Loaded, source->second}
                                           : ReadStoryFile(story, Cp932CodePage());
  if (file.status != StoryFileStatus::Loaded || file.text.empty()) {
    std::fprintf(stderr, "qsd play: %s: cannot be loaded as a story: %s\n", path.c_str(), WhyNotLoaded(path).c_str());
    return kExitFailed;
  }
  const std::u16string& text = file.text;
  const StoryLines lines(text);
  const std::size_t line = *options.to;
  if (line > lines.Count())
    return UsageError(kPlayCommand, "--to " + std::to_string(line) + ": " + path + " has " +
                                        std::to_string(lines.Count()) + " line" + (lines.Count() == 1 ? "" : "s"));
  const WalkResult walk = WalkStory(text, kDefaultMaxStates);
  const Result<WayIn> found = WayInToLine(text, lines, walk, line);
  if (!found.ok()) {
    std::fprintf(stderr, "qsd play: %s: %s\n", path.c_str(), found.error().message.c_str());
    return kExitFailed;
  }
  way = found.value();
  // "reached by the keys dd, with D set, once flag D arrives ...", with the line named.
  const std::string how = DescribeWayIn(way);
  std::fprintf(stderr, "qsd play: %s: reached line %zu%s\n", path.c_str(), line,
               how.c_str() + std::string_view("reached").size());
  return std::nullopt;
}

}  // namespace

int RunPlay(const Arguments& args) {
  PlayOptions options;
  if (const std::optional<int> status = Parse(args, options)) return *status;
  TextSources sources;
  if (!EncodeTextSources(options.stories, sources)) return kExitFailed;
  // The way in is played as keys given before the others.
  WayIn way;
  if (options.to) {
    if (const std::optional<int> status = FindWayTo(options, sources, way)) return *status;
    options.arriving = way.arriving;
    if (options.keys) options.keys = way.keys + *options.keys;
  }

  Recorder recorder(options);
  const std::filesystem::path firstStory = options.stories.front();
  if (!options.keys) {
    TerminalWindow window(std::move(options.stories),
                          options.title ? CaptionPlace::WindowTitle : CaptionPlace::Line);
    Form form(window, Cp932CodePage());
    ReadTextSourcesFromMemory(form, sources);
    // A failed load names its reason at once, below the reader's failure box, and
    // fails the run once the reader quits.
    bool failed = false;
    window.OnMessage([&window, &failed](std::u16string_view text) {
      if (text != kLoadFailedText || !window.LastOpened()) return;
      failed = true;
      const std::string path = Utf8FromPath(*window.LastOpened());
      std::fprintf(stderr, "\r\033[2Kqsd play: %s: cannot be loaded as a story: %s\r\n", path.c_str(),
                   WhyNotLoaded(path).c_str());
    });
    RunHandler(form, Form_Load);
    SetFlags(form.story, options.arriving);
    // Why the story stopped stands on a line of its own above the caption.
    StopWatch stops;
    const auto sayStop = [&stops, &form, &window](int keyCode) {
      if (const auto stop = stops.After(form.story, keyCode, window.LastOpened())) {
        std::fprintf(stderr, "\r\033[2K%s\r\n", stop->c_str());
        window.Draw();
      }
      stops.Count();
      stops.Before(form.story);
    };
    stops.Before(form.story);
    RunHandler(form, mnuFileOpen_Click);
    recorder.Step('\0', form.caption);
    sayStop(0);
    const auto handed = [&sayStop, &recorder, &form](int keyCode) {
      recorder.KeyCode(keyCode, form.caption);
      sayStop(keyCode);
    };
    for (const char key : way.keys) {
      RunHandler(form, [key](Form& f) { Form_KeyDown(f, KeyCodeOf(key)); });
      handed(KeyCodeOf(key));
    }
    window.OnKeyHanded(handed);
    RunInteractive(form, window);
    if (!recorder.Write(firstStory)) return kExitFailed;
    return failed ? kExitFailed : kExitOk;
  }

  TerminalWindow window(std::move(options.stories), CaptionPlace::None);
  Form form(window, Cp932CodePage());
  ReadTextSourcesFromMemory(form, sources);
  RunHandler(form, Form_Load);
  // The flags an earlier story left, which the load keeps.
  SetFlags(form.story, options.arriving);
  StopWatch stops;
  stops.Before(form.story);
  RunHandler(form, mnuFileOpen_Click);
  // A failed load is played on as the reader goes on, and fails the run at its end.
  bool failed = Report(options, form, window, "load");
  recorder.Step('\0', form.caption);
  // Why the story stopped follows the captions shown before it.
  const auto sayStop = [](const std::optional<std::string>& stop) {
    if (!stop) return;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", stop->c_str());
  };
  sayStop(stops.After(form.story, 0, window.LastOpened()));
  for (const char key : *options.keys) {
    stops.Count();
    stops.Before(form.story);
    if (key == 'o') {
      RunHandler(form, mnuFileOpen_Click);
    } else {
      RunHandler(form, [key](Form& f) { Form_KeyDown(f, KeyCodeOf(key)); });
    }
    failed = Report(options, form, window, std::string_view(&key, 1)) || failed;
    recorder.Step(key, form.caption);
    sayStop(stops.After(form.story, KeyCodeOf(key), window.LastOpened()));
  }
  std::fflush(stdout);
  if (!recorder.Write(firstStory)) return kExitFailed;
  return failed ? kExitFailed : kExitOk;
}

}  // namespace quillshade::qsd
