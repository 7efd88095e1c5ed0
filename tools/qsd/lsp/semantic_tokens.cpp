// The parts of every line as semantic tokens, so that any editor colours a story.
#include "tools/qsd/lsp/features.h"

#include <algorithm>

namespace quillshade::qsd::lsp {
namespace {

struct Span {
  std::size_t at = 0;
  std::size_t length = 0;
  TokenType type = TokenType::Text;
  bool declaration = false;
};

void LineSpans(const ScriptLine& script, std::vector<Span>& spans) {
  const auto part = [&](const LinePart& p, TokenType type, bool declaration = false) {
    if (p.Present() && !p.text.empty()) spans.push_back({p.at, p.text.size(), type, declaration});
  };
  part(script.prefix, TokenType::Label, true);
  part(script.Showing(), TokenType::Text);
  if (script.HasJump() && !script.Ends()) {
    spans.push_back({script.jumpAt, kJumpMarker.size(), TokenType::Marker});
    if (script.jumpKind == JumpKind::OnFlag) {
      spans.push_back({script.flagMarkerAt + kJumpMarker.size(), 1, TokenType::Flag});
      part(script.jumpLabels[0], TokenType::Label);
      part(script.jumpLabels[1], TokenType::Label);
    } else {
      part(script.jumpText, TokenType::Label);
    }
  }
  if (script.commandsAt != kAbsent) {
    spans.push_back({script.commandsAt, kCommandMarker.size(), TokenType::Marker});
    for (std::size_t i = 0; i < kKeywords.size(); ++i)
      if (script.effects.keywordAt[i] != kAbsent)
        spans.push_back({script.effects.keywordAt[i], kKeywords[i].text.size(), TokenType::Keyword});
  }
  if (script.choiceAt != kAbsent) {
    spans.push_back({script.choiceAt, kChoiceMarker.size(), TokenType::Marker});
    for (const LinePart& choice : script.choices) part(choice, TokenType::Label);
    part(script.unreachableChoices, TokenType::Unused);
  }
  // Tokens may not overlap: where they would (a flag marker inside a label list, a
  // keyword inside another), the one that begins first wins.
  std::stable_sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.at < b.at; });
  std::size_t end = 0;
  std::erase_if(spans, [&end](const Span& span) {
    if (span.at < end) return true;
    end = span.at + span.length;
    return false;
  });
}

void AppendTokensOfLine(const StoryDocument& story, std::size_t line, std::vector<Span>& spans,
                        std::vector<SemanticToken>& tokens) {
  spans.clear();
  LineSpans(story.Script(line), spans);
  for (const Span& span : spans) {
    const Range range = story.EditorRange(line, span.at, span.length);
    tokens.push_back(SemanticToken{static_cast<std::size_t>(range.start.line),
                                   static_cast<std::size_t>(range.start.character),
                                   static_cast<std::size_t>(range.end.character - range.start.character), span.type,
                                   span.declaration});
  }
}

}  // namespace

std::vector<SemanticToken> SemanticTokens(const StoryDocument& story, const CancelCheck& cancel) {
  std::vector<SemanticToken> tokens;
  if (!story.textSource || !story.loadable) return tokens;
  std::vector<Span> spans;
  for (std::size_t line = 1; line <= story.LineCount() && tokens.size() < kMaxSemanticTokens; ++line) {
    cancel.Poll(line);
    AppendTokensOfLine(story, line, spans, tokens);
  }
  return tokens;
}

std::vector<SemanticToken> SemanticTokensOfLines(const StoryDocument& story, std::size_t from, std::size_t end,
                                                 const CancelCheck& cancel) {
  std::vector<SemanticToken> tokens;
  if (!story.textSource || !story.loadable) return tokens;
  std::vector<Span> spans;
  for (std::size_t line = from; line < end && line <= story.LineCount(); ++line) {
    cancel.Poll(line);
    AppendTokensOfLine(story, line, spans, tokens);
  }
  return tokens;
}

}  // namespace quillshade::qsd::lsp
