// Plans read, written, and replayed by the engine's steps as the reader's form takes them for each key.
#include "tools/qsd/lib/plan.h"

#include <algorithm>

#include "story/choice.h"
#include "story/line_interpreter.h"
#include "story/decode.h"
#include "story/text.h"
#include "story/title_bar.h"
#include "story/utf8.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/platform.h"

namespace quillshade::qsd {
namespace {

constexpr std::string_view kLoadKey = "load";
constexpr std::string_view kFlagsWord = "flags";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

Failure Malformed(std::size_t line, std::string why) {
  return Failure(std::move(why), TextPlace{static_cast<std::int64_t>(line), 1});
}

std::string HexOf(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return out;
}

// The escapes a caption may hold: \\ \s \t \r \n and \u{HEX}; or why one is wrong.
Result<std::u16string> Unescape(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\\') {
      out.push_back(text[i]);
      continue;
    }
    const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
    ++i;
    switch (next) {
      case u'\\': out.push_back(u'\\'); continue;
      case u's': out.push_back(u' '); continue;
      case u't': out.push_back(u'\t'); continue;
      case u'r': out.push_back(u'\r'); continue;
      case u'n': out.push_back(u'\n'); continue;
      case u'u': break;
      default: return Failure("a backslash begins one of \\\\ \\s \\t \\r \\n \\u{HEX} in a caption");
    }
    const std::size_t close = text.find(u'}', i);
    std::uint32_t value = 0;
    const bool braced = i + 1 < text.size() && text[i + 1] == u'{' && close != std::u16string_view::npos &&
                        close > i + 2 && close <= i + 8;
    for (std::size_t at = i + 2; braced && at < close; ++at) {
      const char16_t c = text[at];
      const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                        : c >= u'a' && c <= u'f' ? c - u'a' + 10
                        : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                 : -1;
      if (digit < 0) return Failure("\\u{HEX} takes hexadecimal digits");
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    if (!braced || value > 0x10FFFF) return Failure("\\u{HEX} takes one to six hexadecimal digits, at most 10FFFF");
    if (value > 0xFFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
    i = close;
  }
  return out;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string PlanCaption(std::u16string_view caption) {
  std::string out;
  std::u16string plain;  // a run of characters written as they are
  const auto flush = [&] {
    out += ToUtf8(plain);
    plain.clear();
  };
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const char16_t c = caption[i];
    const bool paired = (IsHighSurrogate(c) && i + 1 < caption.size() && IsLowSurrogate(caption[i + 1])) ||
                        (IsLowSurrogate(c) && i > 0 && IsHighSurrogate(caption[i - 1]));
    std::string escape;
    if (c == u'\\') escape = "\\\\";
    else if (c == u'\t') escape = "\\t";
    else if (c == u'\r') escape = "\\r";
    else if (c == u'\n') escape = "\\n";
    // Spaces at either end would be trimmed, as an editor trims them.
    else if (c == u' ' && (i == 0 || i + 1 == caption.size())) escape = "\\s";
    else if (c < 0x20 || c == 0x7F || ((IsHighSurrogate(c) || IsLowSurrogate(c)) && !paired))
      escape = "\\u{" + HexOf(c) + "}";
    if (escape.empty()) {
      plain.push_back(c);
      continue;
    }
    flush();
    out += escape;
  }
  flush();
  return out;
}

Result<Plan> ParsePlan(std::string_view utf8) {
  Plan plan;
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  std::size_t lineNumber = 0;
  bool flagsRead = false;
  while (!utf8.empty()) {
    ++lineNumber;
    const std::size_t end = utf8.find('\n');
    std::string_view line = utf8.substr(0, end);
    utf8.remove_prefix(end == std::string_view::npos ? utf8.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = TrimBlanks(line);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t wordEnd = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view word = line.substr(0, wordEnd);
    const std::string_view rest = TrimBlanks(line.substr(wordEnd));
    if (word == kFlagsWord) {
      if (flagsRead || !plan.steps.empty()) return Malformed(lineNumber, "'flags' stands once, before the load");
      flagsRead = true;
      for (const char letter : rest) {
        const std::size_t flag = kFlagLetters.find(static_cast<char16_t>(letter));
        if (flag == std::u16string_view::npos || !(kCarriedFlags & (1u << flag)))
          return Malformed(lineNumber, "'flags' takes D, E or DE: only those arrive set from an earlier story");
        plan.arriving = static_cast<FlagBits>(plan.arriving | (1u << flag));
      }
      continue;
    }
    PlanStep step;
    step.planLine = lineNumber;
    if (word == kLoadKey) {
      if (!plan.steps.empty()) return Malformed(lineNumber, "the load is the first step, and the only one");
    } else if (word.size() == 1 && (word[0] == 'd' || word[0] == 'o' || (word[0] >= '1' && word[0] <= '5'))) {
      if (plan.steps.empty()) return Malformed(lineNumber, "the first step is the load: 'load' and its caption");
      step.key = word[0];
    } else {
      return Malformed(lineNumber, "'" + PrintableText(FromUtf8(word).value_or(u"?"), ControlCharacters::Escaped, 20) +
                                       "' is no step: a step is load, d, 1-5 or o, then the caption it shows");
    }
    const std::optional<std::u16string> caption = FromUtf8(rest);
    if (!caption) return Malformed(lineNumber, "the caption is not UTF-8");
    Result<std::u16string> unescaped = Unescape(*caption);
    if (!unescaped.ok()) return Malformed(lineNumber, unescaped.error().message);
    step.caption = std::move(unescaped.value());
    plan.steps.push_back(std::move(step));
  }
  if (plan.steps.empty()) return Malformed(std::max<std::size_t>(lineNumber, 1), "no steps: a plan begins with 'load'");
  return plan;
}

std::string FormatPlan(const Plan& plan, std::string_view story) {
  std::string out = "# A plan for " + std::string(story) +
                    ": each step a line, its key (load, d, 1-5, o) and the caption it shows.\n";
  if (plan.arriving != 0) {
    out += "flags ";
    for (std::size_t flag = 0; flag < kFlagCount; ++flag)
      if (plan.arriving & (1u << flag)) out.push_back(static_cast<char>(kFlagLetters[flag]));
    out += "\n";
  }
  for (const PlanStep& step : plan.steps) {
    std::string key = step.key == 0 ? std::string(kLoadKey) : std::string(1, step.key);
    const std::string caption = PlanCaption(step.caption);
    out += caption.empty() ? key : key + std::string(6 - key.size(), ' ') + caption;
    out += "\n";
  }
  return out;
}

std::optional<PlanDifference> ReplayPlan(std::u16string_view text, const Plan& plan) {
  if (plan.steps.empty()) return std::nullopt;
  // The reader's state, stepped by the engine's calls that the form makes for each key.
  Story story;
  std::u16string caption(kStartCaption);
  const auto show = [&caption](std::optional<std::u16string_view> shown) {
    if (shown) caption = *shown;
  };
  const StoryLines lines(text);
  SetFlags(story, plan.arriving);
  // The story line that showed the caption: none until the story loads and shows its first.
  std::size_t shownBy = 0;
  // A load that fails leaves everything as it was, the caption too.
  if (!text.empty() && text.size() <= kMaxStoryLength) {
    story.StoryText = text;
    story.ReadPos = 1;
    caption = kLoadingCaption;
    const LineStep first = ReadNextLine(story);
    story.ReadPos = first.nextPos;
    show(first.shownText);
    if (first.shownText) shownBy = 1;
  }
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const PlanStep& step = plan.steps[i];
    // File > Open is cancelled: no other file is there to choose, and no key loads one.
    if (i > 0 && step.key != 'o' && !story.StoryText.empty()) {
      std::size_t line = 0;
      if (ChoicePending(story.ChoiceList)) {
        // Only a choice key acts while a choice waits.
        if (step.key >= '1' && step.key <= '5') {
          const ChoiceAnswer answer = AnswerOf(story.StoryText, story.ChoiceList, step.key - '1');
          if (answer.labelLine > 0) line = lines.LineAfterBreak(answer.labelLine);
          show(ChooseBranch(story, step.key - '1'));
        }
      } else if (step.key == 'd') {
        if (story.ReadPos > 0 && static_cast<std::size_t>(story.ReadPos) <= text.size()) {
          line = lines.LineOf(static_cast<std::size_t>(story.ReadPos) - 1);
          // A jump lands on the line break before its label line, and shows nothing there.
          if (IsJumpLanding(text, story.ReadPos)) ++line;
        }
        const LineStep next = ReadNextLine(story);
        story.ReadPos = next.nextPos;
        show(next.shownText);
        if (!next.shownText) line = 0;
      }
      if (line != 0) shownBy = line;
    }
    if (caption != step.caption) return PlanDifference{i, step.planLine, step.caption, caption, shownBy};
  }
  return std::nullopt;
}

std::string DescribeDifference(const PlanDifference& difference) {
  return "expected '" + PlanCaption(difference.expected) + "' got '" + PlanCaption(difference.got) + "'";
}

bool IsPlanName(const std::filesystem::path& path) { return path.extension() == ".plan"; }

bool PlanBelongsTo(const std::filesystem::path& plan, const std::filesystem::path& story) {
  if (!IsPlanName(plan)) return false;
  const std::string stem = Utf8FromPath(story.stem());
  const std::string name = Utf8FromPath(plan.filename());
  // STEM.plan, or STEM.ANYTHING.plan.
  return name == stem + ".plan" || (name.starts_with(stem + ".") && name.size() > stem.size() + 1 + 5);
}

std::vector<std::filesystem::path> PlansBeside(const std::filesystem::path& story) {
  std::vector<std::filesystem::path> plans;
  std::error_code error;
  const std::filesystem::path folder = story.has_parent_path() ? story.parent_path() : std::filesystem::path(".");
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::filesystem::path& path = it->path();
    // A story named without a folder has its plans named so too.
    if (PlanBelongsTo(path, story) && it->is_regular_file(error))
      plans.push_back(story.has_parent_path() ? path : path.filename());
  }
  std::sort(plans.begin(), plans.end());
  return plans;
}

std::vector<Diagnostic> CheckPlansBeside(const std::filesystem::path& story, std::u16string_view text,
                                         const std::atomic<bool>* stop) {
  std::vector<Diagnostic> found;
  std::vector<std::filesystem::path> plans = PlansBeside(story);
  if (plans.empty()) return found;
  const StoryLines lines(text);
  if (plans.size() > kMaxPlansBeside) plans.resize(kMaxPlansBeside);
  for (const std::filesystem::path& path : plans) {
    if (stop && *stop) break;
    const std::string name = Utf8FromPath(path.filename());
    Diagnostic diagnostic;
    diagnostic.severity = Severity::Error;
    diagnostic.check = kPlanDiffersCheck;
    const Result<std::string> bytes = ReadInput(Utf8FromPath(path), kMaxPlanBytesBeside);
    const Result<Plan> plan = bytes.ok() ? ParsePlan(bytes.value()) : Result<Plan>(bytes.error());
    if (!plan.ok()) {
      const std::string where = plan.error().place ? ", line " + std::to_string(plan.error().place->line) : "";
      diagnostic.message = "plan " + name + where + " is not replayed: " + plan.error().message;
      found.push_back(std::move(diagnostic));
      continue;
    }
    const std::optional<PlanDifference> differs = ReplayPlan(text, plan.value());
    if (!differs) continue;
    const std::size_t line = std::max<std::size_t>(differs->storyLine, 1);
    diagnostic.line = static_cast<std::int64_t>(line);
    if (line <= lines.Count()) diagnostic.length = static_cast<std::int64_t>(lines.Text(line).size());
    diagnostic.message = "plan " + name + " step " + std::to_string(differs->step) + " " + DescribeDifference(*differs);
    found.push_back(std::move(diagnostic));
  }
  return found;
}

}  // namespace quillshade::qsd
