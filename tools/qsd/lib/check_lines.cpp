// The checks that read a story line by line: labels, jumps, commands and choices.
#include <algorithm>
#include <unordered_map>

#include "story/choice.h"
#include "story/label_index.h"
#include "story/text.h"
#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/label_suggestion.h"

namespace quillshade::qsd {
namespace {

std::string FlagName(std::size_t flag) { return std::string(1, static_cast<char>(kFlagLetters[flag])); }

std::string KeywordEffect(const Keyword& keyword) {
  return std::string(keyword.text.begin(), keyword.text.end()) + " (" + std::string(keyword.effect) + ")";
}

// Whether an upper-case word is made of keywords alone, such as AONBOFF: written so on
// purpose, unlike DONE or WEEKEND.
bool MadeOfKeywords(std::u16string_view word) {
  std::vector<bool> reachable(word.size() + 1, false);
  reachable[0] = true;
  for (std::size_t at = 0; at < word.size(); ++at) {
    if (!reachable[at]) continue;
    for (const Keyword& keyword : kKeywords)
      if (word.substr(at, keyword.text.size()) == keyword.text) reachable[at + keyword.text.size()] = true;
  }
  return reachable[word.size()];
}

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsAsciiLetterOrDigit(char16_t c) { return IsAsciiLetter(c) || (c >= u'0' && c <= u'9'); }

// The tabs and spaces a line begins with, when a tab is among them: such a line does not
// begin with what follows them, and nothing trims the tab away.
std::size_t TabbedIndent(std::u16string_view line) {
  const std::size_t indent = std::min(line.find_first_not_of(u"\t "), line.size());
  return line.substr(0, indent).find(u'\t') == std::u16string_view::npos ? 0 : indent;
}

// The '[label]' of a line that begins with tabs (and maybe spaces) before it; empty if
// the line is no such line.
std::u16string_view TabbedLabel(std::u16string_view line) {
  const std::size_t indent = TabbedIndent(line);
  if (indent == 0 || indent == line.size() || line[indent] != kPrefixOpen) return {};
  const std::size_t close = line.find(kPrefixClose, indent);
  return close == std::u16string_view::npos ? std::u16string_view{} : line.substr(indent, close + 1 - indent);
}

// Where the word END stands alone at the end of shown text, after a space or nothing, or
// npos: written there without '::' it is shown as text, and reading goes on. After a
// full-width '：：' it is left to the full-width check, which says why.
std::size_t BareEndAt(std::u16string_view shown) {
  constexpr std::u16string_view kEnd = u"END";
  if (!shown.ends_with(kEnd)) return std::u16string_view::npos;
  const std::size_t at = shown.size() - kEnd.size();
  if (at == 0) return at;
  const std::size_t word = shown.find_last_not_of(u" \t\u3000", at - 1);
  if (word == at - 1) return std::u16string_view::npos;  // part of a longer word
  if (word != std::u16string_view::npos && shown.substr(0, word + 1).ends_with(u"\uFF1A\uFF1A"))
    return std::u16string_view::npos;
  return at;
}

// Where the first line beginning with a label is, and whether another one follows it.
struct LabelFacts {
  std::size_t first = 0;   // story line, 0 when no line break is followed by the label
  std::size_t second = 0;  // the next line that begins with it, 0 if none
  bool onlyFirstLine = false;
  // The first line is the unbroken last line: never shown, so reaching it stops the story.
  bool unbroken = false;
  // The first line only begins with the label, running on into a longer word ("gone"
  // for "go"), so a later line that holds the label itself is probably the one meant.
  bool firstRunsOn = false;
  bool secondRunsOn = false;
  bool duplicateSaid = false;  // the second line beginning with it has been warned about
};

class LineChecker {
 public:
  LineChecker(std::u16string_view text, const StoryLines& lines, const LabelIndex& index, const CheckOptions& options,
              DiagnosticSink& sink)
      : text_(text), lines_(lines), options_(options), sink_(sink), index_(index), suggester_(lines) {}

  LinesToRevisit Run() {
    LinesToRevisit revisit{IndexSet(lines_.Count()), IndexSet(lines_.Count()), IndexSet(lines_.Count() + 1)};
    tooWide_ = &revisit.tooWide;
    for (std::size_t line = 1; line <= lines_.Count(); ++line) {
      if (!lines_.Terminated(line)) continue;
      line_ = line;
      raw_ = lines_.Text(line);
      if (HoldsFullWidthForm(raw_)) revisit.fullWidth.Add(line);
      tabbedLabel_ = CheckTabBeforeLabel();
      if (IsPlainLine(raw_)) {
        CheckShown(PartOf(TrimSpaces(raw_)), false);
        continue;
      }
      if (CheckLine()) revisit.choices.Add(line);
    }
    return revisit;
  }

 private:
  // The message is made only for a problem that is named: a hostile story may hold
  // millions of one kind, of which only the first are named and the rest counted.
  template <typename Message>
  Diagnostic* Warn(std::string_view check, std::size_t column, std::size_t length, const Message& message) {
    return sink_.Add(check, line_, column, length, sink_.Names(check) ? message() : std::string());
  }
  // The columns of a part and of the jump: ">>" and what follows it.
  static std::size_t Column(const LinePart& part) { return part.at + 1; }
  static std::size_t JumpLength(const ScriptLine& line) { return line.jumpText.End() - line.jumpAt; }

  // Whether the line after a CR at 1-based `crPosition` runs on past the label into a
  // longer word.
  bool RunsOn(std::int32_t crPosition, const std::u16string& label) const {
    const std::size_t after = static_cast<std::size_t>(crPosition) + 1 + label.size();
    return !label.empty() && label.back() != u']' && after < text_.size() && text_[after] != u' ' &&
           text_[after] != u'\r';
  }

  LabelFacts& Facts(const std::u16string& label) {
    const auto known = labels_.find(label);
    if (known != labels_.end()) return known->second;
    LabelFacts facts;
    const LabelIndex::Found found = index_.Find(label);
    if (found.first == 0) {
      facts.onlyFirstLine = text_.substr(0, label.size()) == label;
    } else {
      facts.first = lines_.LineAfterBreak(found.first);
      facts.unbroken = ReachOf(text_, found.first) == LabelReach::Unbroken;
      facts.firstRunsOn = RunsOn(found.first, label);
      if (found.second != 0) {
        facts.second = lines_.LineAfterBreak(found.second);
        facts.secondRunsOn = RunsOn(found.second, label);
      }
    }
    return labels_.emplace(label, facts).first->second;
  }

  // A label that a jump or a choice looks for, at `column` of the current line.
  void CheckLabel(const std::u16string& label, std::size_t column, bool choice) {
    const std::size_t length = label.size();
    LabelFacts& facts = Facts(label);
    if (facts.first == 0 && facts.onlyFirstLine) {
      Warn("first-line-label", column, length, [&] {
        return "only line 1 begins with " + Quote(label) + ", and no " + (choice ? "choice" : "jump") +
               " can find line 1 (no line break comes before it)";
      });
    } else if (facts.first == 0) {
      Diagnostic* missing = Warn(choice ? "missing-choice-label" : "missing-label", column, length, [&] {
        return "no line begins with " + Quote(label) + ": " + (choice ? "choosing it" : "this jump") +
               " stops the story";
      });
      if (!missing) return;  // only counted: no suggestion either
      if (const std::size_t tabbed = TabbedLineWith(label))
        missing->note = "line " + std::to_string(tabbed) + " has a tab before " + Quote(label);
      else if (const auto meant = suggester_.Suggest(label))
        missing->note = "did you mean " + Quote(*meant) + "?";
    } else if (facts.unbroken) {
      Warn("label-line-unbroken", column, length, [&] {
        return "the line that begins with " + Quote(label) + ", line " + std::to_string(facts.first) +
               ", has no line break after it, so the reader never shows it: " +
               (choice ? "choosing it stops the story" : "this jump stops the story on an empty title bar");
      });
    } else if (facts.second != 0 && facts.firstRunsOn) {
      Warn("shadowed-label", column, length, [&] {
        return "lines " + std::to_string(facts.first) + " and " + std::to_string(facts.second) + " both begin with " +
               Quote(label) + ": the first, line " + std::to_string(facts.first) + ", always wins";
      });
    } else if (facts.second != 0 && !facts.secondRunsOn && !facts.duplicateSaid) {
      // Said once, at the line that never wins, whichever jump or choice looks for it.
      facts.duplicateSaid = true;
      sink_.Add("duplicate-label", facts.second, 1, length,
                sink_.Names("duplicate-label")
                    ? "line " + std::to_string(facts.first) + " begins with " + Quote(label) +
                          " too, and every jump or choice to it lands there, never here"
                    : std::string());
    }
  }

  // The first line that holds the '[label]' after a tab, 0 if none. Such lines are
  // gathered on the first missing label: most stories have none.
  std::size_t TabbedLineWith(std::u16string_view label) {
    if (!tabbedGathered_) {
      tabbedGathered_ = true;
      for (std::size_t line = 2; line <= lines_.Count() && tabbed_.size() < kMaxTabbedLabels; ++line)
        if (lines_.Terminated(line))
          if (const std::u16string_view tabbed = TabbedLabel(lines_.Text(line)); !tabbed.empty())
            tabbed_.emplace(tabbed, static_cast<std::uint32_t>(line));
    }
    const auto found = tabbed_.find(label);
    return found == tabbed_.end() ? 0 : found->second;
  }

  // A line that begins with a tab before its label: it shows whole, and no jump finds it.
  bool CheckTabBeforeLabel() {
    const std::u16string_view label = TabbedLabel(raw_);
    if (label.empty()) return false;
    Warn("tab-before-label", 1, static_cast<std::size_t>(label.data() - raw_.data()), [&] {
      return "a tab before " + Quote(label) +
             ": the line does not begin with it, so no jump or choice finds it, and the reader shows it whole";
    });
    return true;
  }

  LinePart PartOf(std::u16string_view part) const {
    return LinePart{static_cast<std::size_t>(part.data() - raw_.data()), part};
  }

  // What a line shows: its width, a tab in it, a bare END at its end (`ends`: the line
  // ends the story anyway).
  void CheckShown(const LinePart& shown, bool ends) {
    CheckWidth(shown);
    if (const std::size_t tab = shown.text.find(u'\t'); tab != std::u16string_view::npos && !tabbedLabel_)
      Warn("tab-in-text", Column(shown) + tab, 1,
           [&] { return std::string("a tab in the shown text: the title bar shows it as nothing or as a box"); });
    if (const std::size_t end = BareEndAt(shown.text); end != std::u16string_view::npos && !ends) {
      Diagnostic* bare = Warn("bare-end", Column(shown) + end, 3, [&] {
        return std::string("END without '::' is shown as text, and reading goes on");
      });
      if (bare) bare->note = "did you mean ':: END'?";
    }
  }

  // Judged once the walk has said how the reader reaches the line: a choice shows it
  // without its label.
  void CheckWidth(const LinePart& shown) {
    if (DisplayWidth(shown.text) > options_.width) tooWide_->Add(line_);
  }

  // The current line, with a script; answers whether it leaves a choice pending.
  bool CheckLine() {
    const ScriptLine parts = SplitScriptLine(raw_);
    const LineExits exits = ExitsOf(parts, 0);
    const bool ends = exits.down == Flow::End;

    if (parts.unclosedPrefix)
      Warn("unclosed-prefix", Column(parts.shown), 1,
           [&] { return "'[' without ']': the whole line is shown, '[' included"; });
    if (parts.choiceAt != kAbsent) CheckChoices(parts, exits);
    if (parts.commandsAt != kAbsent) CheckCommands(parts);
    if (exits.down == Flow::Jump) CheckJump(parts);

    CheckShown(ends ? parts.shownWithJump : parts.shown, ends);
    return parts.Chooses();
  }

  void CheckChoices(const ScriptLine& parts, const LineExits& exits) {
    const LinePart& list = parts.choiceList;
    if (!exits.choosing) return;  // "??" alone clears a pending choice, which is allowed
    for (const std::u16string_view marker : {kCommandMarker, kJumpMarker}) {
      const std::size_t at = list.text.find(marker);
      if (at == std::u16string_view::npos) continue;
      Warn("marker-in-choices", Column(list) + at, marker.size(), [&] {
        return Quote(marker) + " after '\?\?' is part of the choice list, not " +
               (marker == kCommandMarker ? "a command" : "a jump");
      });
    }

    std::vector<std::size_t> targets;
    bool allFound = true;
    for (std::size_t key = 0; key < kChoiceKeyCount && parts.choices[key].Present(); ++key) {
      const LinePart& label = parts.choices[key];
      const std::string number = std::to_string(key + 1);
      if (label.text.empty()) {
        Warn("empty-choice", Column(label), 0,
             [&] { return "choice " + number + " is empty, so key " + number + " does nothing"; });
        continue;
      }
      if (label.text.front() == u' ')
        Warn("label-leading-space", Column(label), label.text.size(), [&] {
          return "the label " + Quote(label.text) +
                 " begins with a space: only a line that begins with a space matches it";
        });
      const std::u16string owned(label.text);
      CheckLabel(owned, Column(label), true);
      const LabelFacts& facts = Facts(owned);
      allFound = allFound && facts.first != 0;
      targets.push_back(facts.first);
    }
    if (const LinePart& beyond = parts.unreachableChoices; beyond.Present())
      Warn("too-many-choices", Column(beyond), beyond.text.size(), [&] {
        return "more than five choices: only keys 1 to 5 answer, so " + Quote(FindField(beyond.text, 0).value()) +
               " and any after it can never be chosen";
      });

    if (allFound && targets.size() >= 2 &&
        std::all_of(targets.begin(), targets.end(), [&](std::size_t t) { return t == targets.front(); }))
      Warn("same-choice-target", parts.choiceAt + 1, list.End() - parts.choiceAt,
           [&] { return "every answer of this choice leads to line " + std::to_string(targets.front()); });
    if (exits.down == Flow::Jump)
      Warn("jump-with-choice", parts.jumpAt + 1, JumpLength(parts),
           [&] { return "this jump is never followed: the choice decides where reading goes on"; });
  }

  void CheckCommands(const ScriptLine& parts) {
    const CommandEffects& effects = parts.effects;
    const std::size_t column = parts.commandsAt + 1;
    const std::size_t length = parts.commands.End() - parts.commandsAt;
    for (std::size_t flag = 0; flag < kFlagCount; ++flag)
      if (effects.sets & effects.clears & (1u << flag))
        Warn("set-and-cleared", column, length, [&] {
          return "flag " + FlagName(flag) + " is both set and cleared here: " + FlagName(flag) + "OFF wins";
        });
    if (effects.ends && parts.HasJump())
      Warn("end-with-jump", parts.jumpAt + 1, JumpLength(parts),
           [&] { return "END stops the story on this line, so its jump is never followed"; });

    const std::u16string_view commands = parts.commands.text;
    std::size_t at = 0;
    while (at < commands.size()) {
      if (!IsAsciiLetter(commands[at])) {
        ++at;
        continue;
      }
      std::size_t end = at;
      while (end < commands.size() && IsAsciiLetter(commands[end])) ++end;
      const std::u16string_view written = commands.substr(at, end - at);
      const std::size_t wordColumn = Column(parts.commands) + at;
      const std::u16string word = UpperAscii(written);
      if (!MadeOfKeywords(word)) {
        std::string found;
        for (const Keyword& keyword : kKeywords)
          if (word.find(keyword.text) != std::u16string::npos)
            found += (found.empty() ? "" : ", ") + KeywordEffect(keyword);
        if (!found.empty())
          Warn("keyword-in-word", wordColumn, written.size(),
               [&] { return Quote(written) + " holds the command " + found; });
        else
          Warn("unknown-command", wordColumn, written.size(),
               [&] { return Quote(written) + " holds no command and does nothing"; });
      }
      at = end;
    }
  }

  void CheckJump(const ScriptLine& parts) {
    const std::u16string_view jumpText = parts.jumpText.text;
    const std::size_t jumpColumn = parts.jumpAt + 1;
    const std::size_t jumpLength = JumpLength(parts);
    // An empty target or label list is placed at its ">>".
    const std::size_t textColumn = jumpText.empty() ? jumpColumn : Column(parts.jumpText);

    if (parts.jumpKind == JumpKind::Plain) {
      if (jumpText.empty()) {
        Warn("empty-target", jumpColumn, jumpLength,
             [&] { return "'>>' without a target matches the first line break: reading goes on at line 2"; });
        return;
      }
      const std::u16string target(jumpText);
      // `>>done` with a line `[done]` is a jump that lost its brackets, not a jump on D.
      if (target.front() >= u'a' && target.front() <= u'e' &&
          (target.find(u',') != std::u16string::npos || Facts(target).first == 0) &&
          Facts(u"[" + target + u"]").first == 0)
        Warn("lowercase-conditional", jumpColumn, jumpLength, [&] {
          return "'>>" + std::string(1, static_cast<char>(target.front())) + "' is a plain jump to " + Quote(target) +
                 "; a jump on a flag is written with a capital letter, '>>" +
                 std::string(1, static_cast<char>(target.front() - u'a' + u'A')) + "'";
        });
      CheckLabel(target, textColumn, false);
      return;
    }

    const std::string flag = FlagName(parts.jumpFlag);
    const std::size_t markerLength = kJumpMarker.size() + 1;
    if (parts.flagMarkerAt != parts.jumpAt)
      Warn("misplaced-conditional", parts.flagMarkerAt + 1, markerLength, [&] {
        return "'>>" + flag + "' makes the jump at column " + std::to_string(jumpColumn) + " a jump on flag " + flag +
               ", whose labels begin one character after that first '>>'";
      });
    const bool oneLabel = !parts.jumpLabels[1].Present();
    const std::size_t after = parts.jumpAt + markerLength;
    if (parts.flagMarkerAt == parts.jumpAt && oneLabel && after < raw_.size() && IsAsciiLetterOrDigit(raw_[after])) {
      Warn("target-taken-as-conditional", jumpColumn, jumpLength, [&] {
        return "'>>" + flag + "' begins a jump on flag " + flag + ", so this is no jump to " +
               Quote(raw_.substr(parts.jumpAt + 2, jumpText.size() + 1)) + " but one to " + Quote(jumpText) + " when " +
               flag + " is set, and to line 2 when it is not";
      });
      CheckLabel(std::u16string(jumpText), textColumn, false);
      return;
    }
    if (oneLabel)
      Warn("one-label-conditional", jumpColumn, jumpLength, [&] {
        return "a jump on flag " + flag + " with one label: when " + flag +
               " is not set its target is empty, and reading goes on at line 2";
      });

    for (std::size_t field = 0; field < 2 && parts.jumpLabels[field].Present(); ++field) {
      const LinePart& label = parts.jumpLabels[field];
      const std::size_t column = textColumn + (label.at - parts.jumpText.at);
      if (label.text.empty()) {
        Warn("empty-target", column, 0, [&] {
          return "the label for flag " + flag + (field == 0 ? " set" : " not set") +
                 " is empty: it matches the first line break, and reading goes on at line 2";
        });
      } else {
        if (label.text.front() == u' ')
          Warn("label-leading-space", column, label.text.size(), [&] {
            return "the label " + Quote(label.text) +
                   " begins with a space: only a line that begins with a space matches it";
          });
        CheckLabel(std::u16string(label.text), column, false);
      }
    }
  }

  std::u16string_view text_;
  const StoryLines& lines_;
  const CheckOptions& options_;
  IndexSet* tooWide_ = nullptr;  // the lines too wide as they stand; not ours
  DiagnosticSink& sink_;
  const LabelIndex& index_;
  LabelSuggester suggester_;
  std::unordered_map<std::u16string, LabelFacts> labels_;
  // The first line of each '[label]' that a tab stands before, for the missing labels'
  // notes; kept to a bound whatever the story.
  static constexpr std::size_t kMaxTabbedLabels = 100'000;
  std::unordered_map<std::u16string_view, std::uint32_t> tabbed_;
  bool tabbedGathered_ = false;
  std::size_t line_ = 0;
  std::u16string_view raw_;
  bool tabbedLabel_ = false;  // the current line has a tab before its label
};

}  // namespace

LinesToRevisit CheckLines(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                          const CheckOptions& options, DiagnosticSink& sink) {
  return LineChecker(text, lines, index, options, sink).Run();
}

}  // namespace quillshade::qsd
