// The engine's split of story lines, one letter per character, for the editor grammars to
// be compared with (tests/editors/compare_grammars.sh); and random story lines to split.
// Usage: script_parts FILE        a row of letters for each line of the file
//        script_parts --generate COUNT SEED   COUNT random story lines, as UTF-8
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "story/script_line.h"
#include "story/text.h"
#include "story/utf8.h"

namespace quillshade {
namespace {

// The parts that an editor colours apart, by letter: p prefix, j a jump's ">>" (and of a
// jump on a flag named later on the line, the one character skipped after it), f the
// flag right after ">>", t a plain jump's target, l a jump on a flag's label list, c "::"
// and its command text, k a flag keyword, e END, q "??" and its choice list, and . for
// shown text. Spaces and tabs, which no colour shows, are _ whatever part holds them.
enum Part : char {
  kText = '.', kPrefix = 'p', kJump = 'j', kFlag = 'f', kTarget = 't', kLabels = 'l',
  kCommands = 'c', kKeyword = 'k', kEnd = 'e', kChoices = 'q',
};

void Mark(std::u16string& parts, std::size_t from, std::size_t to, Part part) {
  for (std::size_t at = from; at < to && at < parts.size(); ++at) parts[at] = part;
}

void Mark(std::u16string& parts, const LinePart& part, Part as) {
  if (part.Present()) Mark(parts, part.at, part.End(), as);
}

// The keywords as an editor finds them: from the left, each where it begins, the letters
// of one never taken again by another (ENDON shows END, then ON).
void MarkKeywords(std::u16string& parts, const LinePart& commands) {
  const std::u16string upper = UpperAscii(commands.text);
  for (std::size_t at = 0; at < upper.size();) {
    std::size_t length = 0;
    for (const Keyword& keyword : kKeywords)
      if (std::u16string_view(upper).substr(at).starts_with(keyword.text)) {
        length = keyword.text.size();
        Mark(parts, commands.at + at, commands.at + at + length, keyword.kind == CommandKind::End ? kEnd : kKeyword);
      }
    at += length > 0 ? length : 1;
  }
}

// One letter per UTF-16 unit of the line.
std::u16string PartsOf(std::u16string_view line) {
  const ScriptLine script = SplitScriptLine(line);
  std::u16string parts(line.size(), kText);
  Mark(parts, script.prefix, kPrefix);
  if (script.HasJump()) {
    Mark(parts, script.jumpAt, script.JumpTextFrom(), kJump);
    if (script.jumpKind == JumpKind::OnFlag) {
      if (script.flagMarkerAt == script.jumpAt) Mark(parts, script.JumpTextFrom() - 1, script.JumpTextFrom(), kFlag);
      Mark(parts, script.jumpText, kLabels);
    } else {
      Mark(parts, script.jumpText, kTarget);
    }
  }
  if (script.commandsAt != kAbsent) {
    Mark(parts, script.commandsAt, script.commandsAt + kCommandMarker.size(), kCommands);
    Mark(parts, script.commands, kCommands);
    MarkKeywords(parts, script.commands);
  }
  if (script.choiceAt != kAbsent) {
    Mark(parts, script.choiceAt, script.choiceAt + kChoiceMarker.size(), kChoices);
    Mark(parts, script.choiceList, kChoices);
  }
  for (std::size_t at = 0; at < line.size(); ++at)
    if (line[at] == u' ' || line[at] == u'\t') parts[at] = u'_';
  return parts;
}

// The letters of the line, one per character: a pair takes the letter of its first unit.
std::string Row(std::u16string_view line) {
  const std::u16string parts = PartsOf(line);
  std::string row;
  for (std::size_t at = 0; at < line.size(); ++at) {
    row.push_back(static_cast<char>(parts[at]));
    if (line[at] >= 0xD800 && line[at] < 0xDC00 && at + 1 < line.size() && line[at + 1] >= 0xDC00 &&
        line[at + 1] < 0xE000)
      ++at;
  }
  return row;
}

// Lines that editors split alike: at LF, a CR before it dropped. A line that is not
// UTF-8 is shown differently by each editor, so it is marked "!" and left out.
int PrintRows(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "script_parts: %s: cannot be read\n", path);
    return 1;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  if (bytes.ends_with('\n')) bytes.pop_back();
  if (bytes.empty()) return 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = bytes.find('\n', start);
    std::string_view line = std::string_view(bytes).substr(start, end == std::string::npos ? end : end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::optional<std::u16string> text = FromUtf8(line);
    const std::string row = text ? Row(*text) : "!";
    std::printf("%s\n", row.c_str());
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return 0;
}

// Lines made of the pieces that decide a split, so that markers meet in every order:
// inside a prefix, after one another, doubled, a flag letter right after ">>" or later.
int PrintRandomLines(unsigned long count, unsigned long seed) {
  static const std::vector<std::u16string_view> kPieces{
      u"[", u"]", u"[a]", u">>", u">>", u">>A", u">>B", u">>E", u">>a", u">>>", u"::", u"::", u"??", u"??",
      u"AON", u"boff", u"END", u"end", u"weekend", u"DONE", u"x", u"go", u"l1", u",", u",", u" ", u" ", u"  ",
      u"\t", u"A", u"C", u"e", u">", u":", u"?", u"、", u"＞＞", u"こ", u"😀", u"\u3000"};
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
  std::uniform_int_distribution<std::size_t> length(0, 9);
  std::uniform_int_distribution<std::size_t> piece(0, kPieces.size() - 1);
  for (unsigned long i = 0; i < count; ++i) {
    std::u16string line;
    for (std::size_t n = length(random); n > 0; --n) line += kPieces[piece(random)];
    std::printf("%s\n", ToUtf8(line).c_str());
  }
  return 0;
}

}  // namespace
}  // namespace quillshade

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--generate")
    return quillshade::PrintRandomLines(std::stoul(args[1]), std::stoul(args[2]));
  if (args.size() == 1 && !args[0].starts_with("--")) return quillshade::PrintRows(args[0].c_str());
  std::fprintf(stderr, "usage: script_parts FILE | script_parts --generate COUNT SEED\n");
  return 2;
}
