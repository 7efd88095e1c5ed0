// Fuzz target: qsd check's line checks and state walk on an arbitrary story text.
#include <cstddef>
#include <cstdint>

#include "fuzz/story_text.h"
#include "tools/qsd/lib/check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = quillshade::fuzz::StoryTextOf(data, size);
  quillshade::qsd::CheckOptions options;
  options.maxStates = 20000;  // the walk's own limit, kept small so each input stays quick
  const quillshade::qsd::StoryReport report = quillshade::qsd::CheckStoryText(text, options);
  for (const auto& diagnostic : report.diagnostics) {
    if (diagnostic.line < 1 || diagnostic.column < 1) __builtin_trap();
    (void)quillshade::qsd::FormatDiagnostic("fuzz.qsd", diagnostic);
  }
  (void)quillshade::qsd::JudgeCarriedFlags({report.flags, report.flags});
  return 0;
}
