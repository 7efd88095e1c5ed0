// JSON and SARIF forms of the findings of `qsd check`.
#include "tools/qsd/lib/check_report_format.h"

#include <cctype>
#include <cstdio>
#include <map>

#include "tools/qsd/lib/json.h"

namespace quillshade::qsd {
namespace {

std::string_view SeverityName(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

Json NotesOf(const Diagnostic& diagnostic) {
  Json notes = Json::array();
  if (!diagnostic.note.empty()) notes.push_back(diagnostic.note);
  if (diagnostic.wayIn) notes.push_back(DescribeWayIn(*diagnostic.wayIn));
  for (const Diagnostic& folded : diagnostic.folded) notes.push_back(FoldedNote(folded));
  return notes;
}

// One past the finding's last code unit, on its line.
std::int64_t EndColumn(const Diagnostic& diagnostic) { return diagnostic.column + diagnostic.length; }

// A SARIF region, or the place of a JSON finding: the lines and columns it spans.
Json RegionOf(const Diagnostic& diagnostic) {
  return {{"startLine", diagnostic.line},
          {"startColumn", diagnostic.column},
          {"endLine", diagnostic.line},
          {"endColumn", EndColumn(diagnostic)}};
}

// A file name may hold bytes that are no UTF-8: they become U+FFFD rather than stop the output.
std::string Dump(const Json& value, int indent) {
  return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

// [{"physicalLocation": {"artifactLocation": {"uri": ...}, "region": ...}}]
Json LocationsOf(const std::string& uri, const Json& region) {
  Json physical = {{"artifactLocation", {{"uri", uri}}}};
  if (!region.is_null()) physical["region"] = region;
  return Json::array({Json{{"physicalLocation", std::move(physical)}}});
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

std::string FileUri(std::string_view name) {
  std::string path(name);
  for (char& c : path)
    if (c == '\\') c = '/';
  // A drive is a letter: any other name with ':' in it is relative, its ':' escaped so
  // that no reader takes what comes before it for a scheme.
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     path[2] == '/';
  std::string uri = path.starts_with('/') ? "file://" : drive ? "file:///" : "";
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (IsUnreserved(c) || c == '/' || (drive && i == 1)) {
      uri += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri;
}

std::string FormatFindingsJson(const std::vector<CheckedFile>& files) {
  std::string out = "[";
  const char* separator = "\n";
  for (const CheckedFile& file : files)
    for (const Diagnostic& diagnostic : file.diagnostics) {
      Json finding;
      finding["file"] = file.name;
      finding["line"] = diagnostic.line;
      finding["column"] = diagnostic.column;
      finding["endLine"] = diagnostic.line;
      finding["endColumn"] = EndColumn(diagnostic);
      finding["severity"] = SeverityName(diagnostic.severity);
      finding["check"] = diagnostic.check;
      finding["message"] = diagnostic.message;
      finding["notes"] = NotesOf(diagnostic);
      // The findings folded under this one, each whole, for scripts that want them apart.
      if (!diagnostic.folded.empty()) {
        Json folded = Json::array();
        for (const Diagnostic& under : diagnostic.folded)
          folded.push_back({{"line", under.line},
                            {"column", under.column},
                            {"endLine", under.line},
                            {"endColumn", EndColumn(under)},
                            {"severity", SeverityName(under.severity)},
                            {"check", under.check},
                            {"message", under.message}});
        finding["folded"] = std::move(folded);
      }
      out += separator + SpacedJson(finding);
      separator = ",\n";
    }
  out += files.empty() || out == "[" ? "]\n" : "\n]\n";
  return out;
}

std::string FormatFindingsSarif(const std::vector<CheckedFile>& files, std::string_view toolVersion) {
  Json rules = Json::array();
  std::map<std::string_view, std::size_t> ruleIndex;
  for (const CheckInfo& info : AllChecks()) {
    ruleIndex.emplace(info.name, rules.size());
    rules.push_back({{"id", info.name},
                     {"shortDescription", {{"text", info.summary}}},
                     {"defaultConfiguration", {{"level", SeverityName(info.severity)}}}});
  }

  Json results = Json::array();
  Json notifications = Json::array();
  for (const CheckedFile& file : files) {
    const std::string uri = FileUri(file.name);
    if (file.unreadable)
      notifications.push_back({{"level", "error"},
                               {"message", {{"text", file.name + ": " + *file.unreadable}}},
                               {"locations", LocationsOf(uri, Json())}});
    for (const Diagnostic& diagnostic : file.diagnostics) {
      // The notes go with the message: code-scanning services show its text alone.
      std::string text = diagnostic.message;
      for (const auto& note : NotesOf(diagnostic)) text += "\nnote: " + note.get<std::string>();
      Json result = {{"ruleId", diagnostic.check}};
      if (const auto rule = ruleIndex.find(diagnostic.check); rule != ruleIndex.end())
        result["ruleIndex"] = rule->second;
      result["level"] = SeverityName(diagnostic.severity);
      result["message"] = {{"text", text}};
      result["locations"] = LocationsOf(uri, RegionOf(diagnostic));
      // The findings folded under this one, at their own places.
      if (!diagnostic.folded.empty()) {
        Json related = Json::array();
        for (const Diagnostic& under : diagnostic.folded) {
          Json location = LocationsOf(uri, RegionOf(under))[0];
          location["id"] = related.size();
          location["message"] = {{"text", under.message + " [" + std::string(under.check) + "]"}};
          related.push_back(std::move(location));
        }
        result["relatedLocations"] = std::move(related);
      }
      results.push_back(std::move(result));
    }
  }

  Json invocation = {{"executionSuccessful", notifications.empty()}};
  if (!notifications.empty()) invocation["toolExecutionNotifications"] = std::move(notifications);
  Json run = {{"tool", {{"driver", {{"name", "qsd"}, {"version", toolVersion}, {"rules", std::move(rules)}}}}},
              {"columnKind", "utf16CodeUnits"}};
  run["invocations"] = Json::array({std::move(invocation)});
  run["results"] = std::move(results);
  Json log = {{"$schema", "https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/sarif-schema-2.1.0.json"},
              {"version", "2.1.0"}};
  log["runs"] = Json::array({std::move(run)});
  return Dump(log, 2) + "\n";
}

}  // namespace quillshade::qsd
