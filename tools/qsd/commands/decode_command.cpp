// qsd decode: a story file back to text, exactly as the reader holds it.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "story/utf16.h"
#include "story/utf8.h"
#include "tools/qsd/commands/command.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/source_encoder.h"
#include "tools/qsd/commands/option_reader.h"
#include "tools/qsd/lib/story_loader.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

const Command kDecodeCommand{
    "decode",
    "turn a story file back into text, as the reader holds it",
    "usage: qsd decode [--to utf-8|cp932] [--strict] IN.qsd [-o OUT.txt]\n"
    "\n"
    "Decodes IN with the reader's own decoder and writes the story text exactly as\n"
    "the reader holds it (its line breaks are CR LF) to OUT, or to stdout without -o.\n"
    "\"-\" reads stdin or writes stdout. Each token that adds nothing (not a number,\n"
    "out of range, or no character) is named on stderr with its line and column in IN.\n"
    "\n"
    "  --to ENCODING  utf-8 (default) or cp932\n"
    "  --strict       any such token is an error: exit 1 and write nothing\n"
    "  -o OUT         where to write the text\n"
    "\n"
    "Exit status: 0 written, 1 IN cannot be read, decodes to nothing, or (--strict)\n"
    "has a bad token, and then nothing is written; 2 wrong arguments.\n",
    RunDecode,
};

namespace {

constexpr std::size_t kTokensNamedInText = 5;

std::string ToCp932(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char16_t c : text) {
    // Every character of a decoded story came from code page 932, so each has a code.
    const std::uint16_t code = CodeOfCharacter(c).value_or('?');
    if (code > 0xFF) out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
  }
  return out;
}

// The text goes out a slice at a time, so that a long story is never held a second time
// as bytes; a surrogate pair is never cut between two slices.
Result<void> WriteText(const std::string& output, std::u16string_view text, SourceEncoding encoding) {
  constexpr std::size_t kSlice = 1 << 15;
  OutputFile out(output);
  if (Result<void> opened = out.Open(); !opened.ok()) return opened;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = std::min(kSlice, text.size() - at);
    const char16_t last = text[at + length - 1];
    if (at + length < text.size() && IsHighSurrogate(last)) ++length;
    const std::u16string_view slice = text.substr(at, length);
    Result<void> written = out.Write(encoding == SourceEncoding::Utf8 ? ToUtf8(slice) : ToCp932(slice));
    if (!written.ok()) return written;
    at += length;
  }
  return out.Commit();
}

}  // namespace

int RunDecode(const Arguments& args) {
  SourceEncoding encoding = SourceEncoding::Utf8;
  bool strict = false;
  std::string output = "-";
  std::string in;
  const std::vector<Option> options{EncodingOption("--to", encoding), Switch("--strict", strict), OutputOption(output)};
  if (const auto status = ReadArguments(kDecodeCommand, args, options, in, "IN")) return *status;
  const std::string name = DisplayName(in);

  const LoadedStory story = LoadStory(in, kMaxNamedProblems);
  if (story.status != StoryFileStatus::Loaded) {
    std::fprintf(stderr, "qsd decode: %s: %s\n", name.c_str(), DescribeLoadFailure(in, story.status).c_str());
    return kExitFailed;
  }
  const char* severity = strict ? "error" : "warning";
  // In a text source nearly every word is a bad token: say what it is once, and name
  // only the first few.
  std::size_t named = story.badTokens.size();
  if (story.holdsText) {
    std::fprintf(stderr, "%s: %s: this is a text source, not a story file of character codes (`qsd encode` makes one of it)\n",
                 name.c_str(), severity);
    named = std::min(named, kTokensNamedInText);
  }
  for (std::size_t i = 0; i < named; ++i) {
    const PlacedToken& placed = story.badTokens[i];
    std::fprintf(stderr, "%s:%lld:%lld: %s: the token '%s' %s: it adds nothing\n", name.c_str(),
                 static_cast<long long>(placed.fileLine), static_cast<long long>(placed.fileColumn), severity,
                 placed.excerpt.c_str(), FaultText(placed.token.fault));
  }
  if (story.badTokenCount > named)
    std::fprintf(stderr, "%s: %s: %llu more tokens that add nothing\n", name.c_str(), severity,
                 static_cast<unsigned long long>(story.badTokenCount - named));
  if (story.text.empty()) {
    std::fprintf(stderr, "qsd decode: %s: decodes to no character, so the reader refuses to load it%s\n", name.c_str(),
                 story.badTokenCount > 0 && !story.holdsText
                     ? " (is it a text source? `qsd encode` makes a story file of it)"
                     : "");
    return kExitFailed;
  }
  if (strict && story.badTokenCount > 0) {
    std::fprintf(stderr, "qsd decode: nothing written (--strict)\n");
    return kExitFailed;
  }
  if (const Result<void> written = WriteText(output, story.text, encoding); !written.ok()) {
    std::fprintf(stderr, "qsd decode: %s: %s\n", output.c_str(), written.error().message.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace quillshade::qsd
