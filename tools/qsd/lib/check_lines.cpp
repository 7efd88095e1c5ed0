// The checks that read a line alone: its prefix, jumps, commands and choices, and the
// labels it looks for, which are judged once the story's labels are known.
#include <algorithm>
#include <functional>

#include "story/choice.h"
#include "story/label_index.h"
#include "story/text.h"
#include "tools/qsd/lib/check_internal.h"

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

// Of a word written as FON or GOFF, which reads as setting or clearing a flag past E:
// that letter, or 0. A writer who runs out of flags reaches for the letters right after
// E; "ON" after a later letter makes a word (WON, SON, TON) more often than a flag, and
// is left to the unknown commands. No word ends in "OFF" after one capital.
char16_t FlagPastE(std::u16string_view word) {
  if (word.size() < 3 || word[0] < u'F' || word[0] > u'Z') return 0;
  const std::u16string_view rest = word.substr(1);
  if (rest == u"OFF") return word[0];
  return rest == u"ON" && word[0] <= u'H' ? word[0] : 0;
}

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsAsciiLetterOrDigit(char16_t c) { return IsAsciiLetter(c) || (c >= u'0' && c <= u'9'); }

// The tabs and spaces a line begins with, when a tab is among them: such a line does not
// begin with what follows them, and nothing trims the tab away.
std::size_t TabbedIndent(std::u16string_view line) {
  const std::size_t indent = std::min(line.find_first_not_of(u"\t "), line.size());
  return line.substr(0, indent).find(u'\t') == std::u16string_view::npos ? 0 : indent;
}

// Where the word END stands alone at the end of shown text, after a space or nothing, or
// npos: written there without '::' it is shown as text, and reading goes on. After a
// full-width '：：' it is left to the full-width check, which says why.
std::size_t BareEndAt(std::u16string_view shown) {
  constexpr std::u16string_view kEnd = kKeywords[kEndKeyword].text;
  if (!shown.ends_with(kEnd)) return std::u16string_view::npos;
  const std::size_t at = shown.size() - kEnd.size();
  if (at == 0) return at;
  const std::size_t word = shown.find_last_not_of(u" \t\u3000", at - 1);
  if (word == at - 1) return std::u16string_view::npos;  // part of a longer word
  if (word != std::u16string_view::npos && shown.substr(0, word + 1).ends_with(u"\uFF1A\uFF1A"))
    return std::u16string_view::npos;
  return at;
}

class LineRecorder {
 public:
  LineRecorder(const CheckOptions& options, const LineRecording& recording) : options_(options), recording_(recording) {}

  void Record(std::u16string_view raw, LineRecord& record, LineItems& items) {
    raw_ = raw;
    record_ = &record;
    items_ = &items;
    record.fullWidth = HoldsFullWidthForm(raw_);
    record.tabbedLabel = tabbedLabel_ = CheckTabBeforeLabel();
    if (IsPlainLine(raw_))
      CheckShown(PartOf(TrimSpaces(raw_)), false);
    else
      record.choices = CheckLine();
  }

 private:
  // The message is made only for a problem that may be named: a hostile story may hold
  // millions of one kind, of which only the first are named and the rest counted.
  template <typename Message>
  LineItem* Warn(std::string_view check, std::size_t column, std::size_t length, const Message& message) {
    LineItem& item = Push(LineItem::Kind::Finding, column, length);
    item.check = check;
    if (recording_.named(check)) item.message = message();
    return &item;
  }
  LineItem& Push(LineItem::Kind kind, std::size_t column, std::size_t length) {
    LineItem& item = items_->emplace_back();
    item.kind = kind;
    item.column = static_cast<std::uint32_t>(column);
    item.length = static_cast<std::uint32_t>(length);
    return item;
  }
  // A label that a jump or a choice looks for, at `column` of the line: judged once the
  // story's labels are known.
  void CheckLabel(std::u16string_view label, std::size_t column, bool choice) {
    Push(choice ? LineItem::Kind::ChoiceLabel : LineItem::Kind::JumpLabel, column, label.size()).label =
        recording_.idOf(label);
  }
  // The columns of a part and of the jump: ">>" and what follows it.
  static std::size_t Column(const LinePart& part) { return part.at + 1; }
  static std::size_t JumpLength(const ScriptLine& line) { return line.jumpText.End() - line.jumpAt; }

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
      LineItem* bare = Warn("bare-end", Column(shown) + end, 3, [&] {
        return std::string("END without '::' is shown as text, and reading goes on");
      });
      if (!bare->message.empty()) bare->note = "did you mean ':: END'?";
    }
  }

  // Judged once the walk has said how the reader reaches the line: a choice shows it
  // without its label.
  void CheckWidth(const LinePart& shown) {
    if (DisplayWidth(shown.text) > options_.width) record_->tooWide = true;
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

    CheckShown(parts.Showing(), ends);
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

    std::vector<std::uint32_t> answers;
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
      CheckLabel(label.text, Column(label), true);
      answers.push_back(recording_.idOf(label.text));
    }
    if (const LinePart& beyond = parts.unreachableChoices; beyond.Present())
      Warn("too-many-choices", Column(beyond), beyond.text.size(), [&] {
        return "more than five choices: only keys 1 to 5 answer, so " + Quote(FindField(beyond.text, 0).value()) +
               " and any after it can never be chosen";
      });

    if (answers.size() >= 2)
      Push(LineItem::Kind::SameChoiceTarget, parts.choiceAt + 1, list.End() - parts.choiceAt).answers =
          std::move(answers);
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
    // A jump written after "::" is read as commands: the words of its target are no
    // slip of their own, so they are not named again as unknown commands.
    const std::size_t jumpInCommands = std::min(commands.find(kJumpMarker), commands.size());
    if (jumpInCommands < commands.size()) CheckJumpInCommands(parts, jumpInCommands);

    // A run of words that hold no command (a sentence after END) is one finding.
    std::size_t unknownFrom = kAbsent;
    std::size_t unknownTo = 0;
    std::size_t unknownWords = 0;
    const auto flushUnknown = [&] {
      if (unknownWords == 0) return;
      const std::u16string_view run = commands.substr(unknownFrom, unknownTo - unknownFrom);
      Warn("unknown-command", Column(parts.commands) + unknownFrom, run.size(), [&] {
        if (unknownWords == 1) return Quote(run) + " holds no command and does nothing";
        return Quote(run) + " holds no command and does nothing: what follows '::' is never shown; " +
               "to show it, write it before '::'";
      });
      unknownWords = 0;
    };
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
        if (!found.empty()) {
          flushUnknown();
          Warn("keyword-in-word", wordColumn, written.size(),
               [&] { return Quote(written) + " holds the command " + found; });
        } else if (const char16_t flag = FlagPastE(written); flag != 0) {
          flushUnknown();
          Warn("no-such-flag", wordColumn, written.size(), [&] {
            return Quote(written) + " holds no command: there is no flag " + std::string(1, static_cast<char>(flag)) +
                   ", only flags A to E";
          });
        } else if (at < jumpInCommands) {
          if (unknownWords++ == 0) unknownFrom = at;
          unknownTo = end;
        }
      } else {
        flushUnknown();
      }
      at = end;
    }
    flushUnknown();
  }

  // ">>" after "::": the reader takes it for more commands, so nothing jumps. Says what
  // the reader does instead, and how the line reads with the jump before "::".
  void CheckJumpInCommands(const ScriptLine& parts, std::size_t at) {
    const std::u16string_view commands = parts.commands.text;
    const std::u16string_view jump = TrimSpaces(commands.substr(at));
    const std::u16string_view before = TrimSpaces(commands.substr(0, at));
    Warn("jump-in-commands", Column(parts.commands) + at, commands.size() - at, [&] {
      const std::string notJump = "'>>' after '::' is part of the commands, not a jump";
      if (parts.Ends()) return notJump + ", and END stops the story on this line anyway";
      if (parts.HasJump()) return notJump + ": the jump before '::' is the one followed";
      if (parts.Chooses()) return notJump + ": the choice decides where reading goes on";
      std::u16string fixed = std::u16string(jump);
      if (!before.empty()) fixed += u" " + std::u16string(kCommandMarker) + u" " + std::u16string(before);
      return notJump + ", so reading goes on at the next line: write the jump before '::', as in " + Quote(fixed);
    });
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
      // ">>F[a],[b]" reads as a jump on a flag, but only A to E are flags: it is a plain
      // jump to the whole text, which the missing label then names.
      const std::size_t letter = parts.jumpAt + kJumpMarker.size();
      if (letter + 1 < raw_.size() && raw_[letter] >= u'F' && raw_[letter] <= u'Z' && raw_[letter + 1] == kPrefixOpen)
        Warn("no-such-flag", jumpColumn, kJumpMarker.size() + 1, [&] {
          const std::string flag(1, static_cast<char>(raw_[letter]));
          return "there is no flag " + flag + ", only flags A to E: '>>" + flag + "' is a plain jump to " +
                 Quote(jumpText);
        });
      if (FlagOfLowerCase(jumpText.front()) != kFlagCount) {
        LineItem& item = Push(LineItem::Kind::LowercaseJump, jumpColumn, jumpLength);
        item.label = recording_.idOf(jumpText);
        item.bracketed = recording_.idOf(kPrefixOpen + std::u16string(jumpText) + kPrefixClose);
      }
      CheckLabel(jumpText, textColumn, false);
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
    const std::size_t after = parts.JumpTextFrom();
    if (parts.flagMarkerAt == parts.jumpAt && oneLabel && after < raw_.size() && IsAsciiLetterOrDigit(raw_[after])) {
      Warn("target-taken-as-conditional", jumpColumn, jumpLength, [&] {
        return "'>>" + flag + "' begins a jump on flag " + flag + ", so this is no jump to " +
               Quote(raw_.substr(parts.jumpAt + kJumpMarker.size(), jumpText.size() + 1)) + " but one to " + Quote(jumpText) + " when " +
               flag + " is set, and to line 2 when it is not";
      });
      CheckLabel(jumpText, textColumn, false);
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
        CheckLabel(label.text, column, false);
      }
    }
  }

  const CheckOptions& options_;
  const LineRecording& recording_;
  LineRecord* record_ = nullptr;
  LineItems* items_ = nullptr;
  std::u16string_view raw_;
  bool tabbedLabel_ = false;  // the current line has a tab before its label
};

}  // namespace

std::u16string_view TabbedLabel(std::u16string_view line) {
  const std::size_t indent = TabbedIndent(line);
  return indent == 0 ? std::u16string_view{} : LeadingPrefix(line.substr(indent));
}

std::u16string_view IndentedLabel(std::u16string_view line) {
  const std::size_t indent = std::min(line.find_first_not_of(u"\t "), line.size());
  return indent == 0 ? std::u16string_view{} : LeadingPrefix(line.substr(indent));
}

void RecordLine(std::u16string_view line, const CheckOptions& options, const LineRecording& recording,
                LineRecord& record, LineItems& items) {
  LineRecorder(options, recording).Record(line, record, items);
}

}  // namespace quillshade::qsd
