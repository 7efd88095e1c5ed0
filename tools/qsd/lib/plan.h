// Plans: a reading of a story written down, key by key with the caption each step showed, and replayed.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "story/story.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/result.h"

namespace quillshade::qsd {

// Plans larger than this are refused rather than read: a plan is written by hand or by
// `qsd play --record`, one short line a step.
inline constexpr std::uint64_t kMaxPlanBytes = std::uint64_t{16} << 20;

// One step: the load (key '\0'), or a key as `qsd play --keys` takes it (d, 1..5, o),
// and the caption the reader showed once it was done.
struct PlanStep {
  char key = 0;
  std::u16string caption;
  std::size_t planLine = 0;  // where the step stands in its plan file, 1-based; 0 when not read from one
};

struct Plan {
  FlagBits arriving = 0;  // D and E, set from an earlier story before the load
  std::vector<PlanStep> steps;  // the load first
};

// A plan file's text, or why it is malformed, its place naming the plan's line.
Result<Plan> ParsePlan(std::string_view utf8);
// The plan as a file: a comment naming `story`, the flags, then a step a line.
std::string FormatPlan(const Plan& plan, std::string_view story);

// The first step whose caption is not the plan's, as the reader shows it.
struct PlanDifference {
  std::size_t step = 0;      // 0 the load, then each key in turn
  std::size_t planLine = 0;  // the step's line in its plan file
  std::u16string expected;
  std::u16string got;
  std::size_t storyLine = 0;  // the story line that showed `got`; 0 when no line of the story did
};

// Replays a plan on a story's text as the reader holds it (an empty text does not
// load), as the form steps the engine for each key; before a load, and while one loads
// (or after one fails), the title bar shows the reader's own captions.
std::optional<PlanDifference> ReplayPlan(std::u16string_view text, const Plan& plan);

// "expected 'A door.' got 'A wall.'", each caption written as the plan writes it.
std::string DescribeDifference(const PlanDifference& difference);

// A caption as a plan writes it: backslashes, controls and the spaces at either end escaped.
std::string PlanCaption(std::u16string_view caption);

// The plans beside a story: STEM.plan and STEM.*.plan in its folder, where the story is
// STEM.txt or STEM.qsd; sorted by name. Whether a file name is a plan's.
std::vector<std::filesystem::path> PlansBeside(const std::filesystem::path& story);
bool IsPlanName(const std::filesystem::path& path);
// Whether a plan belongs to a story by its name.
bool PlanBelongsTo(const std::filesystem::path& plan, const std::filesystem::path& story);

// An editor replays the plans beside a story as it is typed: at most this many, each of
// at most kMaxPlanBytesBeside, so that a replay stays a small part of the walk's time.
inline constexpr std::size_t kMaxPlansBeside = 16;
inline constexpr std::uint64_t kMaxPlanBytesBeside = std::uint64_t{1} << 20;
inline constexpr std::string_view kPlanDiffersCheck = "plan-differs";

// The plans beside `story` on disk, read now, replayed on `text` (the story as it stands,
// saved or not): one error per plan that does not pass, on the story line where it first
// differs ("plan attic.plan step 7 expected ... got ..."), or on line 1 for a plan that
// cannot be read or is malformed. Stops early once `stop` is set.
std::vector<Diagnostic> CheckPlansBeside(const std::filesystem::path& story, std::u16string_view text,
                                         const std::atomic<bool>* stop = nullptr);

}  // namespace quillshade::qsd
