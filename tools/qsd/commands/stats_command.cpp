// qsd stats: figures about stories for their writer, as text or JSON.
#include <cstdio>
#include <optional>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/json.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/stats.h"
#include "tools/qsd/lib/walked_story.h"

namespace quillshade::qsd {

const Command kStatsCommand{
    "stats",
    "count a story's lines, words, choices and endings",
    "usage: qsd stats [--format text|json] [--from utf-8|cp932] STORY...\n"
    "\n"
    "For each story, and for the stories named together: its lines and the lines\n"
    "that show text; what the reader sees (script, labels and markers left out),\n"
    "counted as writers count it: Japanese in characters, Latin text in words;\n"
    "choices, answers, jumps and the flags used; the endings by kind, as `qsd\n"
    "endings` lists them, and the lines shown on each one's shortest way in; the\n"
    "share of lines that some way through the story reaches; the widest line, in\n"
    "title-bar columns (full-width characters count two).\n"
    "\n"
    "  --format json    one JSON object: {\"files\": [...], \"together\": {...}}\n"
    "  --from ENCODING  encoding of text sources: utf-8 (default) or cp932\n"
    "\n"
    "Exit status: 0 done; 1 a story that cannot be read or loaded, or whose walk\n"
    "met its limit (reach and endings are then left out); 2 wrong arguments.\n",
    RunStats,
};

namespace {

constexpr std::array<EndingKind, 5> kKinds{EndingKind::End, EndingKind::MissingLabel, EndingKind::MissingChoiceLabel,
                                           EndingKind::EndOfText, EndingKind::EndlessLoop};

std::string Share(std::size_t part, std::size_t whole) {
  if (whole == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

struct Named {
  std::string file;
  StoryStats stats;
};

std::string StatsText(const StoryStats& stats, const std::string& widestFile) {
  std::string out;
  const auto row = [&out](std::string_view name, const std::string& value) {
    out += "  " + std::string(name) + std::string(14 - name.size(), ' ') + value + "\n";
  };
  row("lines", std::to_string(stats.lines));
  row("lines shown", std::to_string(stats.linesShown));
  row("characters", std::to_string(stats.characters) + " (Japanese and other non-Latin text)");
  row("words", std::to_string(stats.words) + " (Latin text)");
  row("choices", std::to_string(stats.choices) + ", with " + std::to_string(stats.answers) + " answers");
  row("jumps", std::to_string(stats.jumps));
  row("flags used", stats.flagsUsed == 0 ? "none" : FlagNames(stats.flagsUsed));
  if (stats.walked) {
    std::string kinds;
    std::size_t endings = 0;
    for (const EndingKind kind : kKinds) {
      if (!kinds.empty()) kinds += ", ";
      endings += stats.endingsByKind[static_cast<std::size_t>(kind)];
      kinds += std::to_string(stats.endingsByKind[static_cast<std::size_t>(kind)]) + " " +
               std::string(EndingKindName(kind));
    }
    // A row of noughts reads as a count to skim past; a story no one can finish is said so.
    row("endings", endings == 0 ? std::string("none: no ending can be reached") : kinds);
    row("reached", Share(stats.linesReached, stats.linesToReach) + " of " + std::to_string(stats.linesToReach) +
                       " lines that show text");
  } else {
    row("endings", "unknown (the walk met its limit)");
    row("reached", "unknown (the walk met its limit)");
  }
  if (stats.widestLine == 0) row("widest line", "none");
  else row("widest line", widestFile + ":" + std::to_string(stats.widestLine) + ", " + std::to_string(stats.widestWidth) + " columns");
  return out;
}

Json StatsJson(const StoryStats& stats) {
  Json kinds = Json::object();
  for (const EndingKind kind : kKinds)
    kinds[std::string(EndingKindName(kind))] = stats.endingsByKind[static_cast<std::size_t>(kind)];
  return Json{
      {"lines", stats.lines},
      {"linesShown", stats.linesShown},
      {"characters", stats.characters},
      {"words", stats.words},
      {"choices", stats.choices},
      {"answers", stats.answers},
      {"jumps", stats.jumps},
      {"flagsUsed", FlagList(stats.flagsUsed)},
      {"walked", stats.walked},
      {"endings", stats.walked ? kinds : Json()},
      {"linesToReach", stats.linesToReach},
      {"linesReached", stats.walked ? Json(stats.linesReached) : Json()},
      {"widestLine", stats.widestLine},
      {"widestWidth", stats.widestWidth},
  };
}

}  // namespace

int RunStats(const Arguments& args) {
  std::string format = "text";
  SourceEncoding encoding = SourceEncoding::Utf8;
  const std::vector<Option> options{
      ValueOption({"--format"}, "--format needs text or json",
                  [&format](const std::string& value) {
                    if (value != "text" && value != "json") return false;
                    format = value;
                    return true;
                  }),
      EncodingOption("--from", encoding),
  };
  std::vector<std::string> paths;
  if (const auto status = ReadArguments(kStatsCommand, args, options, paths)) return *status;
  if (paths.empty()) return UsageError(kStatsCommand, "no STORY named");

  bool failed = false;
  std::vector<Named> stories;
  for (const std::string& path : paths) {
    const Result<WalkedStory> walked = LoadAndWalk(path, encoding, kDefaultMaxStates);
    if (!walked.ok()) {
      std::fprintf(stderr, "qsd stats: %s: %s\n", DisplayName(path).c_str(), walked.error().message.c_str());
      failed = true;
      continue;
    }
    const std::u16string& text = *walked.value().text;
    const StoryLines& lines = walked.value().lines;
    const WalkResult& walk = walked.value().walk;
    if (!walk.complete) {
      std::fprintf(stderr, "qsd stats: %s: %s: reach and endings are left out\n", DisplayName(path).c_str(),
                   WalkLimitText(walk, kDefaultMaxScan, text.size()).c_str());
      failed = true;
    }
    stories.push_back({path, ComputeStats(text, lines, walk)});
  }

  StoryStats together;
  together.walked = true;
  std::string widestFile;
  for (const Named& story : stories) {
    if (story.stats.widestWidth > together.widestWidth) widestFile = story.file;
    together.Add(story.stats);
  }
  std::string out;
  if (format == "json") {
    Json files = Json::array();
    for (const Named& story : stories) {
      Json json = StatsJson(story.stats);
      Json ways = Json::array();
      for (const Ending& ending : story.stats.endings)
        ways.push_back(Json{{"line", ending.line},
                            {"column", ending.column},
                            {"kind", EndingKindName(ending.kind)},
                            {"linesShown", ending.linesShown},
                            {"keys", ending.way.keys}});
      json["waysToEndings"] = ways;
      files.push_back(Json{{"file", story.file}, {"stats", json}});
    }
    Json all = StatsJson(together);
    all["widestFile"] = widestFile;
    out = Json{{"files", files}, {"together", all}}.dump(2) + "\n";
  } else {
    for (const Named& story : stories) {
      out += story.file + ":\n" + StatsText(story.stats, story.file);
      if (!story.stats.endings.empty()) out += "  lines shown on the shortest way to each ending:\n";
      for (const Ending& ending : story.stats.endings)
        out += "    " + story.file + ":" + std::to_string(ending.line) + ":" + std::to_string(ending.column) + " " +
               std::string(EndingKindName(ending.kind)) + ": " + std::to_string(ending.linesShown) + "\n";
    }
    if (stories.size() > 1) out += "together:\n" + StatsText(together, widestFile);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return failed ? kExitFailed : kExitOk;
}

}  // namespace quillshade::qsd
