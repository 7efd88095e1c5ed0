// Diagnostics collected with their severity, the first of each check named and the rest counted.
#include "tools/qsd/lib/check_internal.h"

namespace quillshade::qsd {

DiagnosticSink::Kind& DiagnosticSink::KindOf(std::string_view check) {
  const auto known = kinds_.find(check);
  if (known != kinds_.end()) return known->second;
  Kind kind;
  kind.name = check;
  for (const CheckInfo& info : AllChecks())
    if (info.name == check) {
      kind.name = info.name;
      kind.severity = info.severity;
    }
  return kinds_.emplace(kind.name, std::move(kind)).first->second;
}

Diagnostic* DiagnosticSink::Add(std::string_view check, std::size_t line, std::size_t column, std::size_t length,
                                std::string message) {
  Kind& kind = KindOf(check);
  Diagnostic diagnostic{static_cast<std::int64_t>(line), static_cast<std::int64_t>(column),
                        static_cast<std::int64_t>(length), kind.severity, std::move(message), kind.name, {}, 0, {}};
  if (kind.named++ < kMaxNamedProblems) return &diagnostics_.emplace_back(std::move(diagnostic));
  if (kind.unnamed++ == 0) kind.firstUnnamed = std::move(diagnostic);
  return nullptr;
}

void DiagnosticSink::Fold(std::size_t root, std::string_view check, std::size_t line, std::size_t column,
                          std::size_t length, std::string message, std::int64_t lastLine) {
  Kind& kind = KindOf(check);
  Diagnostic folded{static_cast<std::int64_t>(line), static_cast<std::int64_t>(column),
                    static_cast<std::int64_t>(length), kind.severity, std::move(message), kind.name, {}, lastLine, {}};
  // Folded or not, a check names as many problems: one slip may leave a million lines
  // unreached.
  if (kind.named++ < kMaxNamedProblems) diagnostics_[root].folded.push_back(std::move(folded));
  else if (kind.unnamed++ == 0) kind.firstUnnamed = std::move(folded);
}

bool DiagnosticSink::Names(std::string_view check) const {
  const auto found = kinds_.find(check);
  return found == kinds_.end() || found->second.named < kMaxNamedProblems;
}

std::vector<Diagnostic>& DiagnosticSink::All() {
  for (auto& [check, kind] : kinds_) {
    if (kind.unnamed == 0) continue;
    Diagnostic first = std::move(kind.firstUnnamed);
    first.message = std::to_string(kind.unnamed) + " more problems of this kind are not named";
    first.length = 0;
    diagnostics_.push_back(std::move(first));
    kind.unnamed = 0;
  }
  return diagnostics_;
}

}  // namespace quillshade::qsd
