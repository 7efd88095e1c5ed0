// The collector that every check adds its problems to.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qsd/lib/check.h"

namespace quillshade::qsd {

// Collects diagnostics with their severity taken from the check's entry in AllChecks().
// Each check names its first kMaxNamedProblems problems; the rest are only counted, and
// All() ends with one diagnostic per check saying how many more it found, so a hostile
// story of millions of problems costs no memory for them.
class DiagnosticSink {
 public:
  // Answers the diagnostic as kept, for a note to be added to it, or nullptr when the
  // problem is only counted (its message is then not needed).
  Diagnostic* Add(std::string_view check, std::size_t line, std::size_t column, std::size_t length,
                  std::string message);
  // A finding that only follows from the named diagnostic `root` (an index into Named()),
  // kept with it rather than on its own; named or counted as Add would.
  void Fold(std::size_t root, std::string_view check, std::size_t line, std::size_t column, std::size_t length,
            std::string message, std::int64_t lastLine = 0);
  // Whether the next problem of the check is named, and so needs its message.
  bool Names(std::string_view check) const;
  std::vector<Diagnostic>& All();
  // The diagnostics named so far, without the counts that All() adds.
  std::vector<Diagnostic>& Named() { return diagnostics_; }

 private:
  // What is known of one check: found once in AllChecks(), then counted.
  struct Kind {
    std::string_view name;  // lives as long as the program
    Severity severity = Severity::Warning;
    std::uint64_t named = 0;
    std::uint64_t unnamed = 0;
    Diagnostic firstUnnamed;
  };
  Kind& KindOf(std::string_view check);

  std::vector<Diagnostic> diagnostics_;
  std::map<std::string_view, Kind> kinds_;  // by check
};

}  // namespace quillshade::qsd
