// qsd test: replays the plans of stories and says where the reader no longer shows what they expect.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "story/utf8.h"
#include "tools/qsd/commands/command.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/plan.h"
#include "tools/qsd/lib/platform.h"

namespace quillshade::qsd {

const Command kTestCommand{
    "test",
    "replay the plans of stories and report where a caption differs",
    "usage: qsd test [--format text|junit] STORY [PLAN ...]\n"
    "       qsd test [--format text|junit] FOLDER ...\n"
    "\n"
    "Replays each PLAN, a reading of STORY written down by `qsd play --record` (or\n"
    "by hand), as the reader plays it, and reports the first step whose caption is\n"
    "not the plan's:\n"
    "  PLAN:LINE: step N: expected 'CAPTION' got 'CAPTION' (STORY:LINE)\n"
    "where LINE is the plan's line, N the step (0 the load, then each key) and\n"
    "STORY:LINE the story line that showed what the reader shows. Without PLAN, the\n"
    "plans beside STORY are replayed: for attic.txt or attic.qsd, attic.plan and\n"
    "attic.*.plan in its folder. A FOLDER is searched, not recursively, for stories\n"
    "(.txt and .qsd) and their plans; a plan there that belongs to no story fails.\n"
    "\n"
    "  --format FORMAT  text (the default): the lines above on stdout, a total on\n"
    "                   stderr; junit: a JUnit XML report on stdout, a test case per\n"
    "                   plan in a suite per story. The exit status is the same.\n"
    "\n"
    "Exit status: 0 every plan passed; 1 a plan failed, or a story or plan could not\n"
    "be read; 2 a malformed plan (named with its line), or wrong arguments.\n",
    RunTest,
};

namespace {

enum class OutputFormat { Text, Junit };

enum class Outcome { Passed, Failed, Malformed, Unreadable };

// One plan, replayed or not, and what to say of it.
struct PlanRun {
  std::string plan;
  Outcome outcome = Outcome::Passed;
  std::string message;  // "PLAN:LINE: ..." for a plan that did not pass
  std::size_t steps = 0;
};

struct StoryRun {
  std::string story;
  std::vector<PlanRun> plans;
};

PlanRun Problem(const std::string& plan, Outcome outcome, std::string message) {
  PlanRun run;
  run.plan = plan;
  run.outcome = outcome;
  run.message = std::move(message);
  return run;
}

PlanRun RunPlan(const std::string& planPath, const std::string& storyPath, const Result<std::u16string>& text) {
  PlanRun run;
  run.plan = planPath;
  const Result<std::string> bytes = ReadInput(planPath, kMaxPlanBytes);
  if (!bytes.ok()) {
    run.outcome = Outcome::Unreadable;
    run.message = planPath + ": " + bytes.error().message;
    return run;
  }
  const Result<Plan> plan = ParsePlan(bytes.value());
  if (!plan.ok()) {
    run.outcome = Outcome::Malformed;
    const std::int64_t line = plan.error().place ? plan.error().place->line : 1;
    run.message = planPath + ":" + std::to_string(line) + ": malformed plan: " + plan.error().message;
    return run;
  }
  run.steps = plan.value().steps.size();
  if (!text.ok()) {
    run.outcome = Outcome::Unreadable;
    run.message = storyPath + ": " + text.error().message;
    return run;
  }
  const std::optional<PlanDifference> differs =
      ReplayPlan(text.value(), plan.value());
  if (!differs) return run;
  run.outcome = Outcome::Failed;
  run.message = planPath + ":" + std::to_string(differs->planLine) + ": step " + std::to_string(differs->step) +
                ": " + DescribeDifference(*differs) +
                (differs->storyLine ? " (" + storyPath + ":" + std::to_string(differs->storyLine) + ")" : "");
  return run;
}

StoryRun RunStory(const std::string& story, const std::vector<std::string>& plans) {
  StoryRun run;
  run.story = story;
  // The story is read once, as `qsd play` reads it; each plan names the failure to read it.
  const Result<std::u16string> text = LoadStoryText(story, SourceEncoding::Utf8);
  for (const std::string& plan : plans) run.plans.push_back(RunPlan(plan, story, text));
  return run;
}

bool IsStoryName(const std::filesystem::path& path) {
  std::string extension = Utf8FromPath(path.extension());
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension == ".txt" || extension == ".qsd";
}

std::vector<std::string> Names(const std::vector<std::filesystem::path>& paths) {
  std::vector<std::string> names;
  for (const std::filesystem::path& path : paths) names.push_back(Utf8FromPath(path));
  return names;
}

// The stories of a folder with plans, each with its plans; a plan that belongs to none
// fails on its own.
void RunFolder(const std::filesystem::path& folder, std::vector<StoryRun>& runs) {
  std::vector<std::filesystem::path> stories;
  std::vector<std::filesystem::path> plans;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code kind;
    if (!it->is_regular_file(kind)) continue;
    if (IsPlanName(it->path())) plans.push_back(it->path());
    else if (IsStoryName(it->path())) stories.push_back(it->path());
  }
  if (error) {
    const std::string name = Utf8FromPath(folder);
    runs.push_back({name, {Problem(name, Outcome::Unreadable, name + ": cannot be listed: " + error.message())}});
    return;
  }
  std::sort(stories.begin(), stories.end());
  std::sort(plans.begin(), plans.end());
  for (const std::filesystem::path& story : stories) {
    std::vector<std::filesystem::path> own;
    for (const std::filesystem::path& plan : plans)
      if (PlanBelongsTo(plan, story)) own.push_back(plan);
    if (!own.empty()) runs.push_back(RunStory(Utf8FromPath(story), Names(own)));
  }
  for (const std::filesystem::path& plan : plans) {
    const bool owned = std::any_of(stories.begin(), stories.end(),
                                   [&plan](const std::filesystem::path& story) { return PlanBelongsTo(plan, story); });
    const std::string name = Utf8FromPath(plan);
    if (!owned)
      runs.push_back({name, {Problem(name, Outcome::Failed,
                                     name + ": no story beside it: a plan STEM.plan or STEM.*.plan belongs to "
                                            "STEM.txt or STEM.qsd")}});
  }
}

// Text for XML: the five specials escaped, and what XML 1.0 cannot hold (controls other
// than tab and line breaks; a file name's bytes that are not UTF-8) as U+FFFD.
std::string XmlText(std::string_view utf8) {
  std::string out;
  while (!utf8.empty()) {
    const std::optional<Utf8Character> read = DecodeUtf8Character(utf8);
    const std::size_t length = read ? read->length : 1;
    const char32_t c = read ? read->codePoint : 0xFFFD;
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else if (c == '\'') out += "&apos;";
    else if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF || !read)
      out += "\xEF\xBF\xBD";
    else out.append(utf8.substr(0, length));
    utf8.remove_prefix(length);
  }
  return out;
}

std::string Junit(const std::vector<StoryRun>& runs) {
  const auto count = [](const std::vector<PlanRun>& plans, bool errors) {
    return std::count_if(plans.begin(), plans.end(), [errors](const PlanRun& run) {
      return errors ? run.outcome == Outcome::Malformed || run.outcome == Outcome::Unreadable
                    : run.outcome == Outcome::Failed;
    });
  };
  std::size_t tests = 0;
  std::ptrdiff_t failures = 0;
  std::ptrdiff_t errors = 0;
  for (const StoryRun& run : runs) {
    tests += run.plans.size();
    failures += count(run.plans, false);
    errors += count(run.plans, true);
  }
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"qsd test\" tests=\"" +
                    std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
                    std::to_string(errors) + "\">\n";
  for (const StoryRun& run : runs) {
    out += "  <testsuite name=\"" + XmlText(run.story) + "\" tests=\"" + std::to_string(run.plans.size()) +
           "\" failures=\"" + std::to_string(count(run.plans, false)) + "\" errors=\"" +
           std::to_string(count(run.plans, true)) + "\">\n";
    for (const PlanRun& plan : run.plans) {
      out += "    <testcase classname=\"" + XmlText(run.story) + "\" name=\"" + XmlText(plan.plan) + "\"";
      if (plan.outcome == Outcome::Passed) {
        out += "/>\n";
        continue;
      }
      const char* element = plan.outcome == Outcome::Failed ? "failure" : "error";
      out += ">\n      <" + std::string(element) + " message=\"" + XmlText(plan.message) + "\">" + XmlText(plan.message) +
             "</" + element + ">\n    </testcase>\n";
    }
    out += "  </testsuite>\n";
  }
  return out + "</testsuites>\n";
}

}  // namespace

int RunTest(const Arguments& args) {
  OutputFormat format = OutputFormat::Text;
  const std::vector<Option> known{
      ValueOption({"--format"}, "--format takes text or junit", [&format](const std::string& value) {
        if (value == "text") format = OutputFormat::Text;
        else if (value == "junit") format = OutputFormat::Junit;
        else return false;
        return true;
      }),
  };
  std::vector<std::string> files;
  if (const auto status = ReadArguments(kTestCommand, args, known, files, HelpRule::First)) return *status;
  if (files.empty()) return UsageError(kTestCommand, "no story or folder named");

  std::vector<StoryRun> runs;
  std::error_code error;
  if (std::filesystem::is_directory(PathFromUtf8(files.front()), error)) {
    for (const std::string& folder : files) {
      if (!std::filesystem::is_directory(PathFromUtf8(folder), error))
        return UsageError(kTestCommand, folder + " is not a folder: name a story and its plans, or folders");
      RunFolder(PathFromUtf8(folder), runs);
    }
  } else {
    std::vector<std::string> plans(files.begin() + 1, files.end());
    if (plans.empty()) {
      if (const Result<void> readable = CheckReadable(files.front()); !readable.ok()) {
        std::fprintf(stderr, "qsd test: %s: %s\n", files.front().c_str(), readable.error().message.c_str());
        return kExitFailed;
      }
      plans = Names(PlansBeside(PathFromUtf8(files.front())));
      if (plans.empty()) {
        std::fprintf(stderr, "qsd test: %s: no plans beside it (STEM.plan or STEM.*.plan)\n",
                     files.front().c_str());
        return kExitFailed;
      }
    }
    runs.push_back(RunStory(files.front(), plans));
  }

  std::size_t total = 0;
  std::size_t failed = 0;
  bool malformed = false;
  for (const StoryRun& run : runs)
    for (const PlanRun& plan : run.plans) {
      ++total;
      failed += plan.outcome != Outcome::Passed;
      malformed = malformed || plan.outcome == Outcome::Malformed;
      if (format == OutputFormat::Text && plan.outcome != Outcome::Passed) std::printf("%s\n", plan.message.c_str());
    }
  if (format == OutputFormat::Junit) {
    const std::string xml = Junit(runs);
    std::fwrite(xml.data(), 1, xml.size(), stdout);
  }
  std::fflush(stdout);
  std::fprintf(stderr, "qsd test: %zu plan%s, %zu passed, %zu failed\n", total, total == 1 ? "" : "s", total - failed,
               failed);
  if (malformed) return kExitUsage;
  return failed > 0 ? kExitFailed : kExitOk;
}

}  // namespace quillshade::qsd
