// The findings of `qsd check` as JSON for scripts and as SARIF for code-scanning services.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/qsd/lib/check.h"

namespace quillshade::qsd {

// A JSON array with one object per finding, one object a line, in the files' order:
// {"file": ..., "line": 3, "column": 7, "endLine": 3, "endColumn": 10, "severity":
// "error", "check": "missing-label", "message": ..., "notes": [...]}. Columns count the
// UTF-16 code units of the story line from 1; endColumn is one past the finding's last
// unit, so it equals column when the finding marks a place rather than a span.
std::string FormatFindingsJson(const std::vector<CheckedFile>& files);

// One SARIF 2.1.0 log of one run: a rule per check of AllChecks() with its summary, a
// result per finding with its region in UTF-16 code units (the run's columnKind), and
// each unreadable file as a notification of an unsuccessful run.
std::string FormatFindingsSarif(const std::vector<CheckedFile>& files, std::string_view toolVersion);

// A file name as a SARIF URI reference: relative names stay relative with '/' between
// folders, absolute ones become file: URIs, and anything but the unreserved characters
// is percent-encoded.
std::string FileUri(std::string_view name);

}  // namespace quillshade::qsd
