// The story's outline: its labelled lines.
#include "tools/qsd/lsp/features.h"

#include <map>

#include "story/utf8.h"

namespace quillshade::qsd::lsp {

std::vector<Symbol> Symbols(const StoryDocument& story, const CancelCheck& cancel) {
  if (!story.textSource) return {};
  // Each labelled line under the first label that names it: its bracketed prefix, or
  // else the first jump or choice label (in story order) that leads to it.
  std::map<std::size_t, std::u16string_view> labels;
  for (std::size_t line = 1; line <= story.LineCount(); ++line) {
    cancel.Poll(line);
    const LinePart& prefix = story.Script(line).prefix;
    if (prefix.Present() && prefix.at == 0) labels.emplace(line, prefix.text);
  }
  for (std::size_t line = 1; line <= story.LineCount(); ++line) {
    cancel.Poll(line);
    for (const LabelUse& use : LabelUsesOf(story, line))
      if (const std::size_t target = story.LabelLine(use.part.text); target != 0) labels.emplace(target, use.part.text);
  }
  std::vector<Symbol> symbols;
  for (const auto& [line, label] : labels) {
    if (symbols.size() == kMaxSymbols) break;
    cancel.Poll(line);
    const std::u16string_view text = story.Line(line);
    std::string name = ToUtf8(label);
    if (name.empty()) name = "(line " + std::to_string(line) + ")";  // reached by an empty target
    symbols.push_back(Symbol{name, ToUtf8(story.Script(line).shown.text), story.EditorRange(line, 0, text.size()),
                             story.EditorRange(line, 0, label.size())});
  }
  return symbols;
}

}  // namespace quillshade::qsd::lsp
