// qsd lsp: the story language server, for editors.
#include <unistd.h>

#include <cstdio>

#include <string>
#include <vector>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lsp/server.h"

namespace quillshade::qsd {

const Command kLspCommand{
    "lsp",
    "the story language server, for editors (stdin and stdout)",
    "usage: qsd lsp [--stdio]\n"
    "\n"
    "Runs the language server of story sources on stdin and stdout (the Language\n"
    "Server Protocol: JSON-RPC messages with Content-Length headers) for an editor to\n"
    "start. It checks as you type with every check of qsd check, goes to the line a\n"
    "jump or a choice really leads to, and offers references, hover (with the shortest\n"
    "keys that reach a line), a lens over each ending, completion, an outline, renaming\n"
    "of labels, quick fixes and colours. It logs to stderr only.\n"
    "\n"
    "Documents are text sources or story files, told apart as `qsd help` says; a text\n"
    "source is UTF-8, as qsd encode reads it. A story file gets its problems on its\n"
    "first line. Flags D and E are judged across the stories of the workspace folder\n"
    "and the open ones.\n"
    "\n"
    "Set your editor to start `qsd lsp` for .txt story sources; the README shows how\n"
    "for Neovim, Helix, Emacs (eglot) and VS Code. Initialization options: \"width\",\n"
    "the title bar's columns for hover (default 44); \"playCommand\", the editor's\n"
    "command that plays the story to a line (URI, 0-based line), which lenses the\n"
    "reader reaches then offer as \"play to here\". The request quillshade/play\n"
    "({textDocument, line?}) answers the story's codes and the keys to that line.\n"
    "\n"
    "  --stdio  accepted, as editors pass it: stdin and stdout are the only transport\n"
    "\n"
    "Exit status: 0 after shutdown and exit, 1 when exit comes without shutdown or the\n"
    "input ends first, 2 on wrong arguments.\n",
    RunLsp,
};

int RunLsp(const Arguments& args) {
  // Editors often pass --stdio; it is the only transport there is.
  bool stdio = false;
  std::vector<std::string> files;
  if (const auto status = ReadArguments(kLspCommand, args, {BareSwitch("--stdio", stdio)}, files)) return *status;
  if (!files.empty()) return UsageError(kLspCommand, "takes no FILE ('" + files[0] + "'): documents come from the editor");
  return lsp::RunLanguageServer(STDIN_FILENO, stdout);
}

}  // namespace quillshade::qsd
