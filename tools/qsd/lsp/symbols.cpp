// The story's outline: its labelled lines.
#include "tools/qsd/lsp/features.h"

#include <algorithm>

#include "story/utf8.h"

namespace quillshade::qsd::lsp {

std::vector<Symbol> Symbols(const StoryDocument& story, const CancelCheck& cancel) {
  if (!story.textSource) return {};
  // Each labelled line under the first label that names it: its bracketed prefix, or
  // else the first jump or choice label (in story order) that leads to it. Editors ask
  // for the outline after nearly every change, so each line is split once, and a line
  // with no script at all not even that.
  struct Named {
    std::size_t line;
    bool byItself;  // its own prefix, which goes before every label leading to it
    std::u16string_view label;
  };
  std::vector<Named> named;
  for (std::size_t line = 1; line <= story.LineCount(); ++line) {
    cancel.Poll(line);
    if (IsPlainLine(story.Line(line))) continue;
    const ScriptLine script = story.Script(line);
    if (script.prefix.Present() && script.prefix.at == 0) named.push_back({line, true, script.prefix.text});
    for (const LabelUse& use : LabelUsesOf(script, line))
      if (const std::size_t target = story.LabelLine(use.part.text); target != 0)
        named.push_back({target, false, use.part.text});
  }
  std::stable_sort(named.begin(), named.end(), [](const Named& a, const Named& b) {
    return a.line != b.line ? a.line < b.line : a.byItself && !b.byItself;
  });
  std::vector<Symbol> symbols;
  for (auto at = named.begin(); at != named.end() && symbols.size() < kMaxSymbols; ++at) {
    if (at != named.begin() && std::prev(at)->line == at->line) continue;
    cancel.Poll(at->line);
    const std::u16string_view text = story.Line(at->line);
    std::string name = ToUtf8(at->label);
    if (name.empty()) name = "(line " + std::to_string(at->line) + ")";  // reached by an empty target
    symbols.push_back(Symbol{name, ToUtf8(story.Script(at->line).shown.text), story.EditorRange(at->line, 0, text.size()),
                             story.EditorRange(at->line, 0, at->label.size())});
  }
  return symbols;
}

}  // namespace quillshade::qsd::lsp
