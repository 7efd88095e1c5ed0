// Labels as lines name them, and the ways between them: definition and references.
#include "tools/qsd/lsp/features.h"

namespace quillshade::qsd::lsp {
namespace {

bool Covers(const LinePart& part, std::size_t offset) {
  return part.Present() && offset >= part.at && offset <= part.at + part.text.size();
}

// The line the position asks about: the one its label leads to, or the line itself.
std::size_t LineAsked(const StoryDocument& story, const StoryPlace& place) {
  if (const auto use = LabelUseAt(story, place)) return story.LabelLine(use->part.text);
  return place.line;
}

}  // namespace

std::vector<LabelUse> LabelUsesOf(const StoryDocument& story, std::size_t line) {
  return LabelUsesOf(story.Script(line), line);
}

std::vector<LabelUse> LabelUsesOf(const ScriptLine& script, std::size_t line) {
  std::vector<LabelUse> uses;
  if (script.jumpKind == JumpKind::Plain) {
    uses.push_back(LabelUse{LabelUse::Kind::Jump, line, script.jumpText, 0, !script.Ends()});
  } else if (script.jumpKind == JumpKind::OnFlag) {
    if (script.jumpLabels[0].Present())
      uses.push_back(LabelUse{LabelUse::Kind::IfSet, line, script.jumpLabels[0], 0, !script.Ends()});
    if (script.jumpLabels[1].Present())
      uses.push_back(LabelUse{LabelUse::Kind::IfNotSet, line, script.jumpLabels[1], 0, !script.Ends()});
  }
  for (std::size_t key = 0; key < kChoiceKeyCount; ++key)
    if (script.choices[key].Present() && !script.choices[key].text.empty())
      uses.push_back(LabelUse{LabelUse::Kind::Choice, line, script.choices[key], key, true});
  return uses;
}

std::optional<LabelUse> LabelUseAt(const StoryDocument& story, const StoryPlace& place) {
  if (!story.textSource || place.line > story.LineCount()) return std::nullopt;
  for (const LabelUse& use : LabelUsesOf(story, place.line))
    if (Covers(use.part, place.offset)) return use;
  return std::nullopt;
}

std::optional<Range> Definition(const StoryDocument& story, const Position& position) {
  const auto place = story.ToStory(position);
  if (!place) return std::nullopt;
  const auto use = LabelUseAt(story, *place);
  if (!use) return std::nullopt;
  const std::size_t target = story.LabelLine(use->part.text);
  if (target == 0) return std::nullopt;
  return story.EditorRange(target, 0, use->part.text.size());
}

std::vector<Range> References(const StoryDocument& story, const Position& position, bool includeDeclaration) {
  const auto place = story.ToStory(position);
  if (!place) return {};
  const std::size_t target = LineAsked(story, *place);
  if (target == 0) return {};
  std::vector<Range> found;
  std::size_t declared = 0;  // the length of the label that first names the line
  for (std::size_t line = 1; line <= story.LineCount(); ++line)
    for (const LabelUse& use : LabelUsesOf(story, line)) {
      if (!use.followed || story.LabelLine(use.part.text) != target) continue;
      if (found.empty()) declared = use.part.text.size();
      found.push_back(story.PartRange(line, use.part));
    }
  if (includeDeclaration) {
    const LinePart& prefix = story.Script(target).prefix;
    const std::size_t length = prefix.Present() && prefix.at == 0 ? prefix.text.size() : declared;
    found.insert(found.begin(), story.EditorRange(target, 0, length));
  }
  return found;
}

}  // namespace quillshade::qsd::lsp
