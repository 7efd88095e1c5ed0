// The checks that read a story line by line: labels, jumps, commands and choices.
#include <algorithm>
#include <unordered_map>

#include "story/choice.h"
#include "story/label_index.h"
#include "story/text.h"
#include "tools/qsd/check_internal.h"
#include "tools/qsd/label_suggestion.h"

namespace quillshade::qsd {
namespace {

constexpr std::array<std::u16string_view, 11> kKeywords{u"AON", u"BON",  u"CON",  u"DON",  u"EON", u"AOFF",
                                                        u"BOFF", u"COFF", u"DOFF", u"EOFF", u"END"};

std::string KeywordEffect(std::u16string_view keyword) {
  if (keyword == u"END") return "END (ends the story)";
  const char flag = static_cast<char>(keyword[0]);
  const bool sets = keyword.size() == 3;
  return std::string(keyword.begin(), keyword.end()) + (sets ? " (sets flag " : " (clears flag ") + flag + ")";
}

// Whether an upper-case word is made of keywords alone, such as AONBOFF: written so on
// purpose, unlike DONE or WEEKEND.
bool MadeOfKeywords(std::u16string_view word) {
  std::vector<bool> reachable(word.size() + 1, false);
  reachable[0] = true;
  for (std::size_t at = 0; at < word.size(); ++at) {
    if (!reachable[at]) continue;
    for (const auto keyword : kKeywords)
      if (word.substr(at, keyword.size()) == keyword) reachable[at + keyword.size()] = true;
  }
  return reachable[word.size()];
}

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsAsciiLetterOrDigit(char16_t c) { return IsAsciiLetter(c) || (c >= u'0' && c <= u'9'); }

std::string FlagName(int flag) { return std::string(1, static_cast<char>('A' + flag)); }

// Where the first line beginning with a label is, and whether another one follows it.
struct LabelFacts {
  std::size_t first = 0;   // story line, 0 when no line break is followed by the label
  std::size_t second = 0;  // the next line that begins with it, 0 if none
  bool onlyFirstLine = false;
  // The first line only begins with the label, running on into a longer word ("gone"
  // for "go"), so a later line that holds the label itself is probably the one meant.
  bool firstRunsOn = false;
};

class LineChecker {
 public:
  LineChecker(std::u16string_view text, const StoryLines& lines, const CheckOptions& options, DiagnosticSink& sink)
      : text_(text), lines_(lines), options_(options), sink_(sink), index_(text), suggester_(text) {}

  void Run() {
    for (std::size_t line = 1; line <= lines_.Count(); ++line)
      if (lines_.Terminated(line)) CheckLine(line);
  }

 private:
  Diagnostic& Warn(std::string_view check, std::size_t column, std::string message) {
    return sink_.Add(check, line_, column, std::move(message));
  }
  std::size_t Column(std::u16string_view part) const { return OffsetIn(raw_, part) + 1; }

  const LabelFacts& Facts(const std::u16string& label) {
    const auto known = labels_.find(label);
    if (known != labels_.end()) return known->second;
    LabelFacts facts;
    const LabelIndex::Found found = index_.Find(label);
    if (found.first == 0) {
      facts.onlyFirstLine = text_.substr(0, label.size()) == label;
    } else {
      facts.first = lines_.LineAfterBreak(found.first);
      if (found.second != 0) facts.second = lines_.LineAfterBreak(found.second);
      // found.first is the 1-based place of the CR, so the label starts at that index + 1.
      const std::size_t after = found.first + 1 + label.size();
      facts.firstRunsOn = !label.empty() && label.back() != u']' && after < text_.size() && text_[after] != u' ' &&
                          text_[after] != u'\r';
    }
    return labels_.emplace(label, facts).first->second;
  }

  // A label that a jump or a choice looks for, at `column` of the current line.
  void CheckLabel(const std::u16string& label, std::size_t column, bool choice) {
    const LabelFacts& facts = Facts(label);
    if (facts.first == 0 && facts.onlyFirstLine) {
      Warn("first-line-label", column,
           "only line 1 begins with " + Quote(label) + ", and no " + (choice ? "choice" : "jump") +
               " can find line 1 (no line break comes before it)");
    } else if (facts.first == 0) {
      Diagnostic& missing =
          Warn(choice ? "missing-choice-label" : "missing-label", column,
               "no line begins with " + Quote(label) + ": " + (choice ? "choosing it" : "this jump") + " stops the story");
      if (const auto meant = suggester_.Suggest(label)) missing.note = "did you mean " + Quote(*meant) + "?";
    } else if (facts.second != 0 && facts.firstRunsOn) {
      Warn("shadowed-label", column,
           "lines " + std::to_string(facts.first) + " and " + std::to_string(facts.second) + " both begin with " +
               Quote(label) + ": the first, line " + std::to_string(facts.first) + ", always wins");
    }
  }

  void CheckLine(std::size_t line) {
    line_ = line;
    raw_ = lines_.Text(line);
    const ScriptLine parts = SplitScriptLine(raw_);
    const CommandEffects effects = ReadCommands(parts.commands);
    const bool ends = parts.commandsAt != kAbsent && effects.ends;

    if (parts.unclosedPrefix)
      Warn("unclosed-prefix", Column(TrimSpaces(raw_)), "'[' without ']': the whole line is shown, '[' included");
    if (parts.choiceAt != kAbsent) CheckChoices(parts, ends);
    if (parts.commandsAt != kAbsent) CheckCommands(parts, effects);
    if (parts.jumpAt != kAbsent && !ends) CheckJump(parts);

    const std::u16string_view shown = ends ? parts.shownWithJump : parts.shown;
    if (const std::size_t width = DisplayWidth(shown); width > options_.width)
      Warn("too-wide", Column(shown),
           "the line is " + std::to_string(width) + " columns wide; the title bar shows about " +
               std::to_string(options_.width) + " (--width)");
  }

  void CheckChoices(const ScriptLine& parts, bool ends) {
    const std::u16string_view list = parts.choiceList;
    if (list.empty()) return;  // "??" alone clears a pending choice, which is allowed
    for (const std::u16string_view marker : {std::u16string_view(u"::"), std::u16string_view(u">>")}) {
      const std::size_t at = list.find(marker);
      if (at == std::u16string_view::npos) continue;
      Warn("marker-in-choices", Column(list) + at,
           Quote(marker) + " after '\?\?' is part of the choice list, not " +
               (marker == u"::" ? "a command" : "a jump"));
    }

    std::vector<std::size_t> targets;
    bool allFound = true;
    std::size_t start = 0;
    for (int field = 0;; ++field) {
      const std::size_t comma = list.find(u',', start);
      const std::u16string_view label =
          list.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start);
      // A column for an empty field: where it would stand.
      const std::size_t column = Column(list) + start;
      if (field == 5) {
        Warn("too-many-choices", column,
             "more than five choices: only keys 1 to 5 answer, so " + Quote(label) + " and any after it can never be chosen");
        break;
      }
      if (label.empty()) {
        Warn("empty-choice", column,
             "choice " + std::to_string(field + 1) + " is empty, so key " + std::to_string(field + 1) + " does nothing");
      } else {
        if (label.front() == u' ')
          Warn("label-leading-space", column,
               "the label " + Quote(label) + " begins with a space: only a line that begins with a space matches it");
        const std::u16string owned(label);
        CheckLabel(owned, column, true);
        const LabelFacts& facts = Facts(owned);
        allFound = allFound && facts.first != 0;
        targets.push_back(facts.first);
      }
      if (comma == std::u16string_view::npos) break;
      start = comma + 1;
    }

    if (allFound && targets.size() >= 2 &&
        std::all_of(targets.begin(), targets.end(), [&](std::size_t t) { return t == targets.front(); }))
      Warn("same-choice-target", parts.choiceAt + 1,
           "every answer of this choice leads to line " + std::to_string(targets.front()));
    if (parts.jumpAt != kAbsent && !ends)
      Warn("jump-with-choice", parts.jumpAt + 1,
           "this jump is never followed: the choice decides where reading goes on");
  }

  void CheckCommands(const ScriptLine& parts, const CommandEffects& effects) {
    const std::size_t column = parts.commandsAt + 1;
    for (int flag = 0; flag < 5; ++flag)
      if (effects.sets & effects.clears & (1u << flag))
        Warn("set-and-cleared", column,
             "flag " + FlagName(flag) + " is both set and cleared here: " + FlagName(flag) + "OFF wins");
    if (effects.ends && parts.jumpAt != kAbsent)
      Warn("end-with-jump", parts.jumpAt + 1, "END stops the story on this line, so its jump is never followed");

    const std::u16string_view commands = parts.commands;
    std::size_t at = 0;
    while (at < commands.size()) {
      if (!IsAsciiLetter(commands[at])) {
        ++at;
        continue;
      }
      std::size_t end = at;
      while (end < commands.size() && IsAsciiLetter(commands[end])) ++end;
      const std::u16string_view written = commands.substr(at, end - at);
      const std::u16string word = UpperAscii(written);
      if (!MadeOfKeywords(word)) {
        std::string found;
        for (const auto keyword : kKeywords)
          if (word.find(keyword) != std::u16string::npos) found += (found.empty() ? "" : ", ") + KeywordEffect(keyword);
        if (!found.empty())
          Warn("keyword-in-word", Column(written), Quote(written) + " holds the command " + found);
        else
          Warn("unknown-command", Column(written), Quote(written) + " holds no command and does nothing");
      }
      at = end;
    }
  }

  void CheckJump(const ScriptLine& parts) {
    const std::u16string_view jumpText = parts.jumpText;
    const std::size_t jumpColumn = parts.jumpAt + 1;
    const std::size_t textColumn = jumpText.empty() ? jumpColumn : Column(jumpText);

    if (parts.conditionalFlag < 0) {
      if (jumpText.empty()) {
        Warn("empty-target", jumpColumn,
             "'>>' without a target matches the first line break: reading goes on at line 2");
        return;
      }
      const std::u16string target(jumpText);
      // `>>done` with a line `[done]` is a jump that lost its brackets, not a jump on D.
      if (target.front() >= u'a' && target.front() <= u'e' &&
          (target.find(u',') != std::u16string::npos || Facts(target).first == 0) &&
          Facts(u"[" + target + u"]").first == 0)
        Warn("lowercase-conditional", jumpColumn,
             "'>>" + std::string(1, static_cast<char>(target.front())) + "' is a plain jump to " + Quote(target) +
                 "; a jump on a flag is written with a capital letter, '>>" +
                 std::string(1, static_cast<char>(target.front() - u'a' + u'A')) + "'");
      CheckLabel(target, textColumn, false);
      return;
    }

    const std::string flag = FlagName(parts.conditionalFlag);
    if (parts.conditionalAt != parts.jumpAt)
      Warn("misplaced-conditional", parts.conditionalAt + 1,
           "'>>" + flag + "' makes the jump at column " + std::to_string(jumpColumn) + " a jump on flag " + flag +
               ", whose labels begin one character after that first '>>'");
    const bool oneLabel = jumpText.find(u',') == std::u16string_view::npos;
    const std::size_t after = parts.jumpAt + 3;
    if (parts.conditionalAt == parts.jumpAt && oneLabel && after < raw_.size() && IsAsciiLetterOrDigit(raw_[after])) {
      Warn("target-taken-as-conditional", jumpColumn,
           "'>>" + flag + "' begins a jump on flag " + flag + ", so this is no jump to " +
               Quote(raw_.substr(parts.jumpAt + 2, jumpText.size() + 1)) + " but one to " + Quote(jumpText) +
               " when " + flag + " is set, and to line 2 when it is not");
      CheckLabel(std::u16string(jumpText), textColumn, false);
      return;
    }
    if (oneLabel)
      Warn("one-label-conditional", jumpColumn,
           "a jump on flag " + flag + " with one label: when " + flag +
               " is not set its target is empty, and reading goes on at line 2");

    std::size_t start = 0;
    for (int field = 0; field < 2; ++field) {
      const std::size_t comma = jumpText.find(u',', start);
      const std::u16string label = PickField(jumpText, field);
      const std::size_t column = (jumpText.empty() ? jumpColumn : Column(jumpText)) + start;
      if (label.empty()) {
        if (!(field == 1 && oneLabel))
          Warn("empty-target", column,
               "the label for flag " + flag + (field == 0 ? " set" : " not set") +
                   " is empty: it matches the first line break, and reading goes on at line 2");
      } else {
        if (label.front() == u' ')
          Warn("label-leading-space", column,
               "the label " + Quote(label) + " begins with a space: only a line that begins with a space matches it");
        CheckLabel(label, column, false);
      }
      if (comma == std::u16string_view::npos) break;
      start = comma + 1;
    }
  }

  std::u16string_view text_;
  const StoryLines& lines_;
  const CheckOptions& options_;
  DiagnosticSink& sink_;
  LabelIndex index_;  // every label of the story is looked up, so one search each is too slow
  LabelSuggester suggester_;
  std::unordered_map<std::u16string, LabelFacts> labels_;
  std::size_t line_ = 0;
  std::u16string_view raw_;
};

}  // namespace

void CheckLines(std::u16string_view text, const StoryLines& lines, const CheckOptions& options, DiagnosticSink& sink) {
  LineChecker(text, lines, options, sink).Run();
}

}  // namespace quillshade::qsd
