// Dispatch, --help, --version and `qsd help COMMAND`.
#include "tools/qsd/commands/cli.h"

#include <array>
#include <cstdio>
#include <string>

#include "tools/qsd/commands/command.h"

namespace quillshade::qsd {
namespace {

constexpr std::string_view kVersion = "qsd " QUILLSHADE_VERSION " (Quillshade authoring toolkit)";

const std::array<const Command*, 8> kCommands{&kEncodeCommand, &kDecodeCommand, &kCheckCommand, &kEndingsCommand,
                                               &kStatsCommand,  &kGraphCommand,  &kPlayCommand,  &kLspCommand};

const Command* FindCommand(std::string_view name) {
  for (const Command* command : kCommands)
    if (command->name == name) return command;
  return nullptr;
}

void PrintHelp(std::FILE* out) {
  std::fprintf(out, "usage: qsd COMMAND [ARGS...]\n\nThe Quillshade story toolkit. Commands:\n");
  for (const Command* command : kCommands)
    std::fprintf(out, "  %-8.*s %.*s\n", static_cast<int>(command->name.size()), command->name.data(),
                 static_cast<int>(command->summary.size()), command->summary.data());
  std::fprintf(out,
               "\n`qsd help COMMAND` shows a command's options. `qsd --version` shows the version.\n"
               "Exit status: 0 done, 1 a problem with the input, 2 wrong arguments.\n");
}

}  // namespace

int UsageError(const Command& command, std::string_view message) {
  const int nameLength = static_cast<int>(command.name.size());
  std::fprintf(stderr, "qsd %.*s: %.*s\nsee 'qsd help %.*s'\n", nameLength, command.name.data(),
               static_cast<int>(message.size()), message.data(), nameLength, command.name.data());
  return kExitUsage;
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return kExitUsage;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h") {
    PrintHelp(stdout);
    return kExitOk;
  }
  if (first == "--version") {
    std::printf("%.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
    return kExitOk;
  }
  if (first == "help") {
    if (argc == 2) {
      PrintHelp(stdout);
      return kExitOk;
    }
    const Command* command = FindCommand(argv[2]);
    if (!command || argc > 3) {
      std::fprintf(stderr, "qsd help: no command '%s'\nsee 'qsd --help'\n", argv[2]);
      return kExitUsage;
    }
    std::printf("%.*s", static_cast<int>(command->usage.size()), command->usage.data());
    return kExitOk;
  }
  const Command* command = FindCommand(first);
  if (!command) {
    std::fprintf(stderr, "qsd: unknown command '%s'\nsee 'qsd --help'\n", first.c_str());
    return kExitUsage;
  }
  return command->run(Arguments(argv + 2, argv + argc));
}

}  // namespace quillshade::qsd
