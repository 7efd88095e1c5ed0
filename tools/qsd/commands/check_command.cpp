// qsd check: reads its options, checks each file, prints the diagnostics as compilers do, or as JSON or SARIF.
#include <cstdio>
#include <optional>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/check_report_format.h"
#include "tools/qsd/lib/files.h"

namespace quillshade::qsd {

const Command kCheckCommand{
    "check",
    "find the traps in stories, as a compiler reports errors",
    "usage: qsd check [--format text|json|sarif] [--width N] [--from utf-8|cp932]\n"
    "                 [--max-states N] [--max-scan N] FILE...\n"
    "       qsd check --list\n"
    "\n"
    "Checks story files (.qsd) and their text sources (told apart as `qsd help` says).\n"
    "Prints one line per problem: FILE:LINE:COL: error|warning: message [check]\n"
    "where LINE is the line of the story and COL its screen column, as compilers\n"
    "count it and editors that read their messages expect: a wide or full-width\n"
    "character takes two columns, a tab reaches the next multiple of 8. Nothing is\n"
    "printed for a clean story.\n"
    "Every state the reader can reach from the start is walked (flags D and E may\n"
    "arrive set from an earlier story): lines never reached, endless loops, flags set\n"
    "but never tested or tested but never set. D and E are judged across all the FILEs,\n"
    "so name the stories of a series together. A finding about a place the reader\n"
    "reaches gets a note on stderr with the shortest keys there, as `qsd play --keys`\n"
    "takes them, and the flags set at that point. What only follows from a misspelt\n"
    "label (lines it leaves unreached, flags it leaves unused) is said with it, in\n"
    "notes that begin \"follows from this\", rather than on its own.\n"
    "\n"
    "  --list           print every check with one line of explanation\n"
    "  --format FORMAT  text (the default): the lines above, notes and totals on\n"
    "                   stderr; json: an array of one object per finding (file,\n"
    "                   line, column, endLine, endColumn, severity, check, message,\n"
    "                   notes, and folded: the findings that follow from it);\n"
    "                   sarif: a SARIF 2.1.0 log for code-scanning services.\n"
    "                   Their columns count the UTF-16 code units of the line as the\n"
    "                   file holds it; endColumn is one past the end of the finding.\n"
    "                   The exit status is the same in every format.\n"
    "  --width N        columns the title bar shows (full-width characters count\n"
    "                   two; default 44, a 450-pixel title bar)\n"
    "  --from ENCODING  encoding of text sources: utf-8 (default) or cp932\n"
    "  --max-states N   give up the walk after N reader states (default 500000)\n"
    "  --max-scan N     give up the walk once it would read more than N characters\n"
    "                   (default: 16 times the story's length, plus 10000000)\n"
    "\n"
    "Exit status: 0 no errors (warnings allowed), 1 errors or an unreadable FILE,\n"
    "2 wrong arguments.\n",
    RunCheck,
};

namespace {

enum class OutputFormat { Text, Json, Sarif };

struct CheckRequest {
  CheckOptions options;
  OutputFormat format = OutputFormat::Text;
  SourceEncoding encoding = SourceEncoding::Utf8;
  bool list = false;  // --list: print the checks instead
  std::vector<std::string> paths;
};

bool ParseCount(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoull(text);
  return value > 0;
}

// The options and files of one run; a status when the command should stop at once.
std::optional<int> ParseArguments(const Arguments& args, CheckRequest& request) {
  CheckOptions& check = request.options;
  const std::vector<Option> options{
      Switch("--list", request.list),
      ValueOption({"--format"}, "--format needs text, json or sarif",
                  [&request](const std::string& value) {
                    if (value == "text") request.format = OutputFormat::Text;
                    else if (value == "json") request.format = OutputFormat::Json;
                    else if (value == "sarif") request.format = OutputFormat::Sarif;
                    else return false;
                    return true;
                  }),
      ValueOption({"--width"}, "--width needs a number of columns",
                  [&check](const std::string& value) {
                    std::uint64_t width = 0;
                    if (!ParseCount(value, width)) return false;
                    check.width = static_cast<std::size_t>(width);
                    return true;
                  }),
      ValueOption({"--max-states"}, "--max-states needs a number from 1 to 4294967280",
                  [&check](const std::string& value) {
                    std::uint64_t states = 0;
                    if (!ParseCount(value, states) || states > 0xFFFFFFF0ULL) return false;
                    check.maxStates = states;
                    return true;
                  }),
      ValueOption({"--max-scan"}, "--max-scan needs a number of characters",
                  [&check](const std::string& value) {
                    std::uint64_t characters = 0;
                    if (!ParseCount(value, characters)) return false;
                    check.maxScan = characters;
                    return true;
                  }),
      EncodingOption("--from", request.encoding),
  };
  if (const auto status = ReadArguments(kCheckCommand, args, options, request.paths)) return status;
  if (request.list && !request.paths.empty()) return UsageError(kCheckCommand, "--list takes no FILE");
  if (!request.list && request.paths.empty()) return UsageError(kCheckCommand, "no FILE named");
  return std::nullopt;
}

int PrintCheckList() {
  for (const CheckInfo& info : AllChecks())
    std::printf("%-28.*s %-7s %.*s\n", static_cast<int>(info.name.size()), info.name.data(),
                info.severity == Severity::Error ? "error" : "warning", static_cast<int>(info.summary.size()),
                info.summary.data());
  return kExitOk;
}

// 1 when a file has an error or could not be read, whatever the format.
int ExitStatus(const std::vector<CheckedFile>& files) {
  for (const CheckedFile& file : files) {
    if (file.unreadable) return kExitFailed;
    for (const Diagnostic& diagnostic : file.diagnostics)
      if (diagnostic.severity == Severity::Error) return kExitFailed;
  }
  return kExitOk;
}

// One line per diagnostic on stdout, its note (if any) and the totals on stderr.
int PrintDiagnostics(const std::vector<CheckedFile>& files) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  for (const CheckedFile& file : files) {
    for (const Diagnostic& diagnostic : file.diagnostics) {
      (diagnostic.severity == Severity::Error ? errors : warnings) += 1;
      const std::string line = FormatDiagnostic(file.name, diagnostic) + "\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
      // A hint for the writer, beside the summary on stderr: the diagnostics on stdout
      // stay one line each for tools that read them.
      std::vector<std::string> notes;
      if (!diagnostic.note.empty()) notes.push_back(diagnostic.note);
      if (diagnostic.wayIn) notes.push_back(DescribeWayIn(*diagnostic.wayIn));
      for (const Diagnostic& folded : diagnostic.folded) notes.push_back(FoldedNote(folded));
      if (!notes.empty()) std::fflush(stdout);
      for (const std::string& note : notes)
        std::fprintf(stderr, "%s:%lld:%lld: note: %s\n", file.name.c_str(), static_cast<long long>(diagnostic.line),
                     static_cast<long long>(diagnostic.screenColumn > 0 ? diagnostic.screenColumn : diagnostic.column),
                     note.c_str());
    }
  }
  std::fflush(stdout);
  if (errors + warnings > 0)
    std::fprintf(stderr, "qsd check: %zu error%s and %zu warning%s\n", errors, errors == 1 ? "" : "s", warnings,
                 warnings == 1 ? "" : "s");
  return ExitStatus(files);
}

}  // namespace

int RunCheck(const Arguments& args) {
  CheckRequest request;
  if (const std::optional<int> status = ParseArguments(args, request)) return *status;
  if (request.list) return PrintCheckList();

  std::vector<CheckedFile> files;
  for (const std::string& path : request.paths) {
    files.push_back(CheckFile(path, request.encoding, request.options));
    if (files.back().unreadable)
      std::fprintf(stderr, "qsd check: %s: %s\n", DisplayName(path).c_str(), files.back().unreadable->c_str());
  }
  JudgeFilesTogether(files);
  if (request.format == OutputFormat::Text) return PrintDiagnostics(files);
  const std::string report =
      request.format == OutputFormat::Json ? FormatFindingsJson(files) : FormatFindingsSarif(files, QUILLSHADE_VERSION);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return ExitStatus(files);
}

}  // namespace quillshade::qsd
