// qsd encode: a text source to a story file, every character as its code page 932 code.
#include <cstdio>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/story_loader.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

const Command kEncodeCommand{
    "encode",
    "turn a text into a story file of character codes",
    "usage: qsd encode [--from utf-8|cp932] [--lossy] IN.txt [-o OUT.qsd]\n"
    "\n"
    "Writes every character of IN as its code in code page 932 (a double-byte\n"
    "character as one code, lead byte * 256 + trail byte), every line break (LF,\n"
    "CR LF or CR) as 13 10, all on one line with a space after each code. A UTF-8\n"
    "byte-order mark is dropped. Without -o the story goes to stdout; \"-\" as IN\n"
    "reads stdin, and -o - writes stdout.\n"
    "\n"
    "  --from ENCODING  utf-8 (default) or cp932\n"
    "  --lossy          write '?' for characters code page 932 cannot hold (a\n"
    "                   warning each) instead of failing\n"
    "  -o OUT           where to write the story file\n"
    "\n"
    "A character that code page 932 cannot hold is an error naming its line, column\n"
    "and character, and then nothing is written; so is an empty IN, and one that is\n"
    "already a story file. A last line without a line break gets a warning: the\n"
    "reader never shows it.\n"
    "\n"
    "Exit status: 0 written, 1 a problem with IN or OUT (nothing written), 2 wrong\n"
    "arguments.\n",
    RunEncode,
};

int RunEncode(const Arguments& args) {
  SourceEncoding encoding = SourceEncoding::Utf8;
  bool lossy = false;
  // Like decode, the story goes to stdout unless -o names a file.
  std::string output = "-";
  std::string in;
  const std::vector<Option> options{EncodingOption("--from", encoding), Switch("--lossy", lossy), OutputOption(output)};
  if (const auto status = ReadArguments(kEncodeCommand, args, options, in, "IN")) return *status;
  const std::string name = DisplayName(in);

  const Result<std::string> input = ReadInput(in);
  if (!input.ok()) {
    std::fprintf(stderr, "qsd encode: %s: %s\n", name.c_str(), input.error().message.c_str());
    return kExitFailed;
  }
  const EncodedSource source = EncodeSource(input.value(), encoding, lossy);
  for (const SourceNote& note : source.notes) std::fprintf(stderr, "%s\n", FormatSourceNote(name, note).c_str());
  if (source.Refused()) {
    if (!source.story.unencodable.empty())
      std::fprintf(stderr, "qsd encode: nothing written (--lossy writes '?' for each of them)\n");
    return kExitFailed;
  }

  if (const Result<void> written = WriteOutput(output, source.story.codes); !written.ok()) {
    std::fprintf(stderr, "qsd encode: %s: %s\n", output.c_str(), written.error().message.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace quillshade::qsd
