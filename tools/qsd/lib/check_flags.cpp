// Flags set but never tested and tested but never set, within one story and across stories checked together.
#include "tools/qsd/lib/check.h"

#include <algorithm>
#include <tuple>

#include "tools/qsd/lib/check_internal.h"

namespace quillshade::qsd {

void ReportFlagUse(const FlagUse& use, FlagBits judged, FlagBits setAnywhere, FlagBits testedAnywhere, bool carried,
                   DiagnosticSink& sink, const FlagFolds* folds) {
  // "flag A is set here, but ...", at the place where the story first does it; folded
  // under the finding it follows from, if any.
  const auto report = [&sink](std::string_view check, const Diagnostic& place, std::size_t flag, std::string_view done,
                              std::string_view why, std::size_t root) {
    std::string message = "flag " + std::string(1, static_cast<char>(kFlagLetters[flag])) + " is " + std::string(done) +
                          " here, but " + std::string(why);
    const auto line = static_cast<std::size_t>(place.line);
    const auto column = static_cast<std::size_t>(place.column);
    const auto length = static_cast<std::size_t>(place.length);
    if (root != FlagFolds::kNoRoot) sink.Fold(root, check, line, column, length, std::move(message));
    else if (Diagnostic* found = sink.Add(check, line, column, length, std::move(message))) found->wayIn = place.wayIn;
  };
  for (std::size_t flag = 0; flag < kFlagCount; ++flag) {
    const auto bit = 1u << flag;
    if (!(judged & bit)) continue;
    if ((use.set & bit) && !(testedAnywhere & bit))
      report("flag-never-tested", use.firstSet[flag], flag, "set",
             carried ? "no story checked with this one tests it (it carries over: check the next story together "
                       "with this one)"
                     : "no jump that reading reaches tests it",
             folds ? folds->testedUnder[flag] : FlagFolds::kNoRoot);
    if ((use.tested & bit) && !(setAnywhere & bit))
      report("flag-never-set", use.firstTest[flag], flag, "tested",
             carried ? "no story checked with this one sets it (it carries over: check the earlier story together "
                       "with this one)"
                     : "no line that reading reaches sets it: the jump always takes its second label",
             folds ? folds->setUnder[flag] : FlagFolds::kNoRoot);
  }
}

std::vector<std::vector<Diagnostic>> JudgeCarriedFlags(const std::vector<FlagUse>& stories) {
  FlagBits anySet = 0;
  FlagBits anyTested = 0;
  for (const FlagUse& use : stories) {
    anySet = static_cast<FlagBits>(anySet | use.set);
    anyTested = static_cast<FlagBits>(anyTested | use.tested);
  }
  std::vector<std::vector<Diagnostic>> found(stories.size());
  for (std::size_t i = 0; i < stories.size(); ++i) {
    DiagnosticSink sink;
    ReportFlagUse(stories[i], kCarriedFlags, anySet, anyTested, true, sink);
    found[i] = std::move(sink.All());
  }
  return found;
}

void JudgeFilesTogether(std::vector<CheckedFile>& files) {
  std::vector<FlagUse> uses;
  for (const CheckedFile& file : files)
    if (file.analysed) uses.push_back(file.flags);
  std::vector<std::vector<Diagnostic>> carried = JudgeCarriedFlags(uses);
  std::size_t next = 0;
  for (CheckedFile& file : files) {
    if (file.analysed) {
      auto& more = carried[next++];
      file.diagnostics.insert(file.diagnostics.end(), more.begin(), more.end());
    }
    std::stable_sort(file.diagnostics.begin(), file.diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
      return std::tie(a.line, a.column) < std::tie(b.line, b.column);
    });
  }
}

}  // namespace quillshade::qsd
