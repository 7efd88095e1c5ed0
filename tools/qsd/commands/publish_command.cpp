// qsd publish: a story and the web reader as one page to share.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/platform.h"
#include "tools/qsd/lib/publish.h"
#include "tools/qsd/lib/story_loader.h"

namespace quillshade::qsd {

const Command kPublishCommand{
    "publish",
    "write a story and the web reader as one web page to share",
    "usage: qsd publish [--from utf-8|cp932] [--reader READER.html]\n"
    "                   [--replace-unencodable] STORY -o PAGE.html\n"
    "\n"
    "Writes PAGE, one HTML file holding the web reader and STORY (a story file, or\n"
    "its text source, encoded as `qsd encode` would). Opened in a browser,\n"
    "from a disk or from any web server, it starts the story as `quillshade STORY`\n"
    "does: its lines show in the tab's title. The story is in the page as character\n"
    "codes only, never as text. -o - writes the page to stdout.\n"
    "The page plays exactly as the story does: a character code page 932 cannot\n"
    "hold is an error at its FILE:LINE:COL (COL a screen column, as `qsd check`\n"
    "counts it), and nothing is written.\n"
    "\n"
    "  --reader FILE    the reader page to publish with; without it, quillshade.html\n"
    "                   beside qsd, then in ../share/quillshade/ from qsd's folder\n"
    "  --from ENCODING  encoding of a text source: utf-8 (default) or cp932\n"
    "  --replace-unencodable\n"
    "                   write '?' for those characters instead, unless that changes\n"
    "                   what a line does (its prefix, choices, commands, END or\n"
    "                   jump, as the story read back from the page splits it):\n"
    "                   '?' is half a choice marker\n"
    "  -o PAGE          where to write the page\n"
    "\n"
    "Exit status: 0 written, 1 a problem with STORY (a character refused as above\n"
    "among them), the reader page or PAGE (nothing written), 2 wrong arguments.\n",
    RunPublish,
};

namespace {

// The installed reader page, or nothing, with where it was looked for.
std::optional<std::string> FindReaderPage(std::string& lookedIn) {
  const std::optional<std::filesystem::path> folder = ProgramFolder();
  if (!folder) return std::nullopt;
  for (const std::filesystem::path& place : ReaderPagePlaces(*folder)) {
    std::error_code error;
    if (std::filesystem::is_regular_file(place, error)) return Utf8FromPath(place);
    lookedIn += (lookedIn.empty() ? "" : ", ") + Utf8FromPath(place.lexically_normal());
  }
  return std::nullopt;
}

}  // namespace

int RunPublish(const Arguments& args) {
  SourceEncoding encoding = SourceEncoding::Utf8;
  std::string output;
  std::string reader;
  std::string path;
  bool replace = false;
  const std::vector<Option> options{
      Switch("--replace-unencodable", replace),
      EncodingOption("--from", encoding),
      OutputOption(output),
      ValueOption({"--reader"}, "--reader needs the reader page's file",
                  [&reader](const std::string& value) {
                    reader = value;
                    return !value.empty();
                  }),
  };
  if (const auto status = ReadArguments(kPublishCommand, args, options, path, "STORY")) return *status;
  if (output.empty()) return UsageError(kPublishCommand, "needs -o PAGE.html");

  if (reader.empty()) {
    std::string lookedIn;
    const std::optional<std::string> found = FindReaderPage(lookedIn);
    if (!found) {
      std::fprintf(stderr, "qsd publish: the reader page %.*s is not installed (looked in: %s); name one with --reader FILE\n",
                   static_cast<int>(kReaderPageName.size()), kReaderPageName.data(),
                   lookedIn.empty() ? "qsd's folder is unknown" : lookedIn.c_str());
      return kExitFailed;
    }
    reader = *found;
  }
  const Result<std::string> readerPage = ReadInput(reader);
  if (!readerPage.ok()) {
    std::fprintf(stderr, "qsd publish: %s: %s\n", DisplayName(reader).c_str(), readerPage.error().message.c_str());
    return kExitFailed;
  }

  const Result<AnyStory> read = ReadStoryOrSource(path, encoding);
  const std::string shownName = DisplayName(path);
  if (!read.ok()) {
    std::fprintf(stderr, "qsd publish: %s: %s\n", shownName.c_str(), read.error().message.c_str());
    return kExitFailed;
  }
  const AnyStory& story = read.value();
  // Each replaced character is said by PublishProblems, placed as `qsd check` places it.
  const auto isReplaced = [&story](const SourceNote& note) {
    // Past the named ones, the only note without a place counts the rest of them.
    if (!note.place) return story.replaced.size() > kMaxNamedProblems;
    return std::any_of(story.replaced.begin(), story.replaced.end(), [&note](const Unencodable& bad) {
      return bad.place.line == note.place->line && bad.place.column == note.place->column;
    });
  };
  for (const SourceNote& note : story.notes)
    if (!isReplaced(note)) std::fprintf(stderr, "%s\n", FormatSourceNote(shownName, note).c_str());
  if (story.text.empty()) return kExitFailed;
  std::vector<PublishProblem> problems = PublishProblems(story.text, story.replaced, replace);
  const bool refused =
      std::any_of(problems.begin(), problems.end(), [](const PublishProblem& problem) { return problem.error; });
  // Nothing is written when a page is refused, so no "wrote '?'" then.
  if (refused) std::erase_if(problems, [](const PublishProblem& problem) { return !problem.error; });
  for (std::size_t i = 0; i < problems.size() && i < kMaxNamedProblems; ++i)
    std::fprintf(stderr, "%s:%lld:%lld: %s: %s\n", shownName.c_str(), static_cast<long long>(problems[i].line),
                 static_cast<long long>(problems[i].column), problems[i].error ? "error" : "warning",
                 problems[i].message.c_str());
  if (problems.size() > kMaxNamedProblems)
    std::fprintf(stderr, "qsd publish: %s: and %zu more like these\n",
                 shownName.c_str(), problems.size() - kMaxNamedProblems);
  if (refused) {
    std::fprintf(stderr, "qsd publish: nothing written: the page would not play as %s does\n", shownName.c_str());
    return kExitFailed;
  }

  const Result<std::string> page = PublishStory(readerPage.value(), story.text);
  if (!page.ok()) {
    // An empty text was reported above; what is left is the reader page's fault.
    std::fprintf(stderr, "qsd publish: %s: %s\n", DisplayName(reader).c_str(), page.error().message.c_str());
    return kExitFailed;
  }
  if (const Result<void> written = WriteOutput(output, page.value()); !written.ok()) {
    std::fprintf(stderr, "qsd publish: %s: %s\n", output.c_str(), written.error().message.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace quillshade::qsd
