// The toolkit's commands and their fixed exit codes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillshade::qsd {

// Exit codes, the same for every command.
enum ExitCode : int {
  kExitOk = 0,       // done; for check: no errors
  kExitFailed = 1,   // the command ran into a problem with its input (named on stderr)
  kExitUsage = 2,    // wrong arguments: usage on stderr
};

using Arguments = std::vector<std::string>;

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for `qsd --help`
  std::string_view usage;    // the whole help of `qsd help NAME`
  int (*run)(const Arguments& args);
};

// Prints "qsd NAME: message" and where the command's help is to stderr; answers kExitUsage.
int UsageError(const Command& command, std::string_view message);

int RunPlay(const Arguments& args);
int RunEncode(const Arguments& args);
int RunDecode(const Arguments& args);
int RunCheck(const Arguments& args);
int RunGraph(const Arguments& args);
int RunLsp(const Arguments& args);
int RunPublish(const Arguments& args);
int RunEndings(const Arguments& args);
int RunStats(const Arguments& args);
int RunTest(const Arguments& args);
extern const Command kPlayCommand;
extern const Command kEncodeCommand;
extern const Command kDecodeCommand;
extern const Command kCheckCommand;
extern const Command kGraphCommand;
extern const Command kLspCommand;
extern const Command kPublishCommand;
extern const Command kEndingsCommand;
extern const Command kStatsCommand;
extern const Command kTestCommand;

}  // namespace quillshade::qsd
