// The checks by name, with their severity and summary, and one diagnostic as a line of text.
#include "tools/qsd/lib/check.h"

namespace quillshade::qsd {

using enum Severity;

const std::vector<CheckInfo>& AllChecks() {
  static const std::vector<CheckInfo> checks{
      {"empty-story", Error, "the story decodes to no character at all, so the reader refuses to load it"},
      {"encoding", Error, "a text source that is not valid UTF-8 (or code page 932 with --from cp932), or binary"},
      {"unencodable", Error, "a character of a text source that code page 932 cannot hold"},
      {"invalid-token", Error, "a token of a story file that is no number or no character: it adds nothing"},
      {"no-line-break", Error, "the story has no line break at all, so the reader shows none of it"},
      {"last-line-unbroken", Warning, "the last line has no line break after it, so it is never shown"},
      {"missing-label", Error, "a jump's target, or a label of a jump on a flag, that no line begins with"},
      {"missing-choice-label", Error, "a choice label that no line begins with: choosing it stops the story"},
      {"label-line-unbroken", Error, "a jump or choice to the last line, which has no line break after it: the reader stops there and never shows it"},
      {"first-line-label", Error, "a label that only line 1 begins with: no line break precedes line 1, so it is never found"},
      {"shadowed-label", Warning, "an earlier, longer line begins with the label too, and it wins"},
      {"duplicate-label", Warning, "a second line begins with a label: every jump or choice lands on the first"},
      {"tab-before-label", Warning, "a tab before a line's '[label]': no jump finds the line, and it shows whole"},
      {"tab-in-text", Warning, "a tab in shown text: the title bar shows it as nothing or as a box"},
      {"bare-end", Warning, "END at the end of shown text without '::': it is shown, and reading goes on"},
      {"empty-target", Warning, "an empty jump target (or label) matches the first line break: reading goes on at line 2"},
      {"one-label-conditional", Warning, "a jump on a flag with one label: when the flag is not set, its target is empty"},
      {"lowercase-conditional", Warning, "'>>a' .. '>>e' is a plain jump, probably meant as a jump on a flag"},
      {"target-taken-as-conditional", Warning, "a plain target beginning with A..E is taken as a jump on that flag"},
      {"misplaced-conditional", Warning, "'>>A'..'>>E' later in the line turns the first '>>' into a jump on a flag"},
      {"label-leading-space", Warning, "a label that begins with a space matches only lines that begin with one"},
      {"keyword-in-word", Warning, "a command keyword inside a longer word (DONE sets flag D, WEEKEND ends the story)"},
      {"unknown-command", Warning, "a word in the commands that holds no keyword and does nothing"},
      {"no-such-flag", Warning, "a flag letter past E ('FON', '>>F[a],[b]'): there are only flags A to E"},
      {"jump-in-commands", Warning, "'>>' after '::' is part of the commands, not a jump: write the jump before '::'"},
      {"set-and-cleared", Warning, "a flag both set and cleared on one line: clearing wins"},
      {"end-with-jump", Warning, "END together with a jump: the jump is never followed"},
      {"jump-with-choice", Warning, "a jump on a choice line: the choice decides where reading goes on"},
      {"empty-choice", Warning, "an empty choice field: its key does nothing"},
      {"too-many-choices", Warning, "more than five choices: only keys 1 to 5 answer"},
      {"full-width-marker", Warning, "'＞＞', '？？', '：：', '［', '，' or '、' where the script marker would act: the reader shows it as text"},
      {"marker-in-choices", Warning, "'::' or '>>' after '\?\?' is part of the choice list, not a command or jump"},
      {"answer-runs-on", Warning, "an answer's lines read on by Down into the line of another answer of the same choice"},
      {"same-choice-target", Warning, "every answer of a choice leads to the same line"},
      {"unclosed-prefix", Warning, "'[' without ']': the whole line is shown, '[' included"},
      {"too-wide", Warning, "a shown line wider than the title bar (--width; full-width characters count two)"},
      {"unreachable", Warning, "lines that no way through the story reaches"},
      {"endless-loop", Warning, "a loop that Down can go round forever, with no choice and no END on it"},
      {"no-way-out", Warning, "a part of the story that, once reached, no way leaves for an ending: every way goes round through choices"},
      {"flag-never-tested", Warning, "a flag that is set but never tested (D and E: by none of the stories checked)"},
      {"flag-never-set", Warning, "a flag that is tested but never set (D and E: by none of the stories checked)"},
      {"walk-limit", Warning, "the walk stopped at --max-states or --max-scan, so its checks were not made"},
  };
  return checks;
}

std::string FormatDiagnostic(std::string_view file, const Diagnostic& diagnostic) {
  return std::string(file) + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.screenColumn > 0 ? diagnostic.screenColumn : diagnostic.column) + ": " +
         (diagnostic.severity == Error ? "error" : "warning") + ": " + diagnostic.message + " [" +
         std::string(diagnostic.check) + "]";
}

std::string FoldedNote(const Diagnostic& folded) {
  return "follows from this, on line " + std::to_string(folded.line) + ": " + folded.message + " [" +
         std::string(folded.check) + "]";
}

}  // namespace quillshade::qsd
