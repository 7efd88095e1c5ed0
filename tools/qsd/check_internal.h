// The two halves of check, shared between check.cpp and its parts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/qsd/check.h"
#include "tools/qsd/story_lines.h"

namespace quillshade::qsd {

// Collects diagnostics with their severity taken from the check's entry in AllChecks().
class DiagnosticSink {
 public:
  Diagnostic& Add(std::string_view check, std::size_t line, std::size_t column, std::string message);
  std::vector<Diagnostic>& All() { return diagnostics_; }

 private:
  std::vector<Diagnostic> diagnostics_;
};

// Checks that read the lines one by one.
void CheckLines(std::u16string_view text, const StoryLines& lines, const CheckOptions& options, DiagnosticSink& sink);

// Checks that rest on the state walk; also fills in where flags are set and tested.
void CheckFlow(std::u16string_view text, const StoryLines& lines, const CheckOptions& options, DiagnosticSink& sink,
               FlagUse& flags);

}  // namespace quillshade::qsd
