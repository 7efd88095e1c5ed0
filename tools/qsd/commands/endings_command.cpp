// qsd endings: every way a story can stop, with the keys that reach it.
#include <cstdio>
#include <optional>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/endings.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/json.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/source_columns.h"
#include "tools/qsd/lib/walked_story.h"

namespace quillshade::qsd {

const Command kEndingsCommand{
    "endings",
    "list every way a story can stop, with the keys that reach it",
    "usage: qsd endings [--format text|json] [--from utf-8|cp932] [--max-states N] STORY...\n"
    "\n"
    "Walks every state the reader can reach (flags D and E may arrive set from an\n"
    "earlier story) and prints each way the story stops, one per line, place first:\n"
    "  FILE:LINE:COL: KIND: what happens; flags: the flags set there; keys: KEYS\n"
    "COL being a screen column as `qsd check` gives it (JSON: UTF-16 units).\n"
    "KIND is end (END), missing-label (a jump whose label no line begins with),\n"
    "missing-choice-label (an answer whose label no line begins with), end-of-text\n"
    "(reading runs past the last line break) or endless-loop (Down goes round\n"
    "forever). KEYS are the shortest that reach it, as `qsd play --keys` takes them;\n"
    "a way found only with D or E arriving set ends with the options that replay\n"
    "it, such as (qsd play --flags D --keys 2d). JSON gives flags as lists of letters.\n"
    "A story that no way through can finish gets one line saying so instead\n"
    "(JSON: an empty list of endings).\n"
    "\n"
    "  --format json    one JSON object: {\"files\": [{\"file\", \"complete\", \"endings\"}]}\n"
    "  --from ENCODING  encoding of text sources: utf-8 (default) or cp932\n"
    "  --max-states N   give up the walk after N reader states (default 500000)\n"
    "\n"
    "Exit status: 0 every story walked to its end; 1 a story that cannot be read or\n"
    "loaded, or whose walk met its limit (its list, \"complete\": false in JSON, may\n"
    "then miss endings, and has no endless loop); 2 wrong arguments.\n",
    RunEndings,
};

namespace {

std::string FlagsText(FlagBits flags) { return flags == 0 ? "none" : FlagNames(flags); }

// The place as `qsd check` writes it, in screen columns.
std::string EndingLine(const std::string& file, const StoryLines& lines, const Ending& ending) {
  const std::int64_t column = ending.line <= lines.Count() ? ScreenColumn(lines.Text(ending.line), ending.column - 1)
                                                           : static_cast<std::int64_t>(ending.column);
  std::string out = file + ":" + std::to_string(ending.line) + ":" + std::to_string(column) + ": " +
                    std::string(EndingKindName(ending.kind)) + ": " + ending.message + "; flags: " +
                    FlagsText(ending.flags) + "; keys: " + (ending.way.keys.empty() ? "(none)" : ending.way.keys);
  // Only a flag from an earlier story reaches it: the options that replay it then.
  if (ending.way.arriving != 0) out += " (qsd play " + ReplayOptions(ending.way) + ")";
  return out + "\n";
}

Json EndingJson(const Ending& ending) {
  Json loop = Json::array();
  for (const std::size_t line : ending.loop) loop.push_back(line);
  Json json{
      {"line", ending.line},
      {"column", ending.column},
      {"kind", EndingKindName(ending.kind)},
      {"message", ending.message},
      {"flags", FlagList(ending.flags)},
      {"keys", ending.way.keys},
      {"arrivingFlags", FlagList(ending.way.arriving)},
      {"linesShown", ending.linesShown},
  };
  if (!loop.empty()) json["loop"] = loop;
  return json;
}

}  // namespace

int RunEndings(const Arguments& args) {
  std::string format = "text";
  SourceEncoding encoding = SourceEncoding::Utf8;
  std::uint64_t maxStates = kDefaultMaxStates;
  const std::vector<Option> options{
      ValueOption({"--format"}, "--format needs text or json",
                  [&format](const std::string& value) {
                    if (value != "text" && value != "json") return false;
                    format = value;
                    return true;
                  }),
      ValueOption({"--max-states"}, "--max-states needs a number from 1 to 4294967280",
                  [&maxStates](const std::string& value) {
                    if (value.empty() || value.size() > 10 || value.find_first_not_of("0123456789") != std::string::npos)
                      return false;
                    maxStates = std::stoull(value);
                    return maxStates > 0 && maxStates <= 0xFFFFFFF0ULL;
                  }),
      EncodingOption("--from", encoding),
  };
  std::vector<std::string> paths;
  if (const auto status = ReadArguments(kEndingsCommand, args, options, paths)) return *status;
  if (paths.empty()) return UsageError(kEndingsCommand, "no STORY named");

  bool failed = false;
  Json files = Json::array();
  for (const std::string& path : paths) {
    const std::string name = DisplayName(path);
    const Result<WalkedStory> walked = LoadAndWalk(path, encoding, maxStates);
    if (!walked.ok()) {
      std::fprintf(stderr, "qsd endings: %s: %s\n", name.c_str(), walked.error().message.c_str());
      failed = true;
      continue;
    }
    const std::u16string& text = *walked.value().text;
    const StoryLines& lines = walked.value().lines;
    const WalkResult& walk = walked.value().walk;
    if (!walk.complete) {
      std::fprintf(stderr, "qsd endings: %s: %s, so the endings listed may not be all\n", name.c_str(),
                   WalkLimitText(walk, kDefaultMaxScan, text.size()).c_str());
      failed = true;
    }
    const std::vector<Ending> endings = FindEndings(text, lines, walk);
    if (format == "json") {
      Json list = Json::array();
      for (const Ending& ending : endings) list.push_back(EndingJson(ending));
      files.push_back(Json{{"file", path}, {"complete", walk.complete}, {"endings", list}});
      continue;
    }
    for (const Ending& ending : endings) {
      const std::string line = EndingLine(path, lines, ending);
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    // Every complete walk of a story that can be finished finds a stop or an endless loop.
    if (walk.complete && endings.empty()) {
      const std::string none = path + ": no ending can be reached: every way through the story goes round through "
                                      "choices forever (qsd check shows where)\n";
      std::fwrite(none.data(), 1, none.size(), stdout);
    }
  }
  if (format == "json") {
    const std::string out = Json{{"files", files}}.dump(2) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  std::fflush(stdout);
  return failed ? kExitFailed : kExitOk;
}

}  // namespace quillshade::qsd
