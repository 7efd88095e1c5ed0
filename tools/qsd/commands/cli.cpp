// Dispatch, --help, --version and `qsd help COMMAND`.
#include "tools/qsd/commands/cli.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/lib/label_suggestion.h"

namespace quillshade::qsd {
namespace {

constexpr std::string_view kVersion = "qsd " QUILLSHADE_VERSION " (Quillshade authoring toolkit)";

const std::array<const Command*, 10> kCommands{&kEncodeCommand, &kDecodeCommand, &kCheckCommand,  &kEndingsCommand,
                                                &kStatsCommand,  &kGraphCommand,  &kPlayCommand,   &kTestCommand,
                                                &kLspCommand,    &kPublishCommand};

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
               "\nA file whose name ends in .txt (in any case), and stdin (-), is a text source,\n"
               "text that qsd encodes as `qsd encode` would, unless it holds only character\n"
               "codes: then, like every other file, it is a story file (.qsd), read as the\n"
               "reader reads it.\n"
               "\n`qsd help COMMAND` shows a command's options. `qsd --version` shows the version.\n"
               "Exit status: 0 done, 1 a problem with the input, 2 wrong arguments.\n");
}

std::vector<std::string_view> CommandNames() {
  std::vector<std::string_view> names;
  for (const Command* known : kCommands) names.push_back(known->name);
  return names;
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
      std::fprintf(stderr, "qsd help: no command '%s'\n", argv[2]);
      if (const auto meant = command ? std::nullopt : NearestName(argv[2], CommandNames()))
        std::fprintf(stderr, "did you mean '%.*s'?\n", static_cast<int>(meant->size()), meant->data());
      std::fprintf(stderr, "see 'qsd --help'\n");
      return kExitUsage;
    }
    std::printf("%.*s", static_cast<int>(command->usage.size()), command->usage.data());
    return kExitOk;
  }
  const Command* command = FindCommand(first);
  if (!command) {
    std::fprintf(stderr, "qsd: unknown command '%s'\n", first.c_str());
    std::vector<std::string_view> names = CommandNames();
    names.push_back("help");
    if (const auto meant = NearestName(first, names))
      std::fprintf(stderr, "did you mean '%.*s'?\n", static_cast<int>(meant->size()), meant->data());
    std::fprintf(stderr, "see 'qsd --help'\n");
    return kExitUsage;
  }
  return command->run(Arguments(argv + 2, argv + argc));
}

}  // namespace quillshade::qsd
