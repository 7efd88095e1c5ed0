// The parameters of the methods the server takes, read from JSON: one parser per kind,
// each throwing BadParams that names what is wrong, which the client is answered as
// invalid parameters (never as a failure of the server).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/qsd/lsp/documents.h"
#include "tools/qsd/lsp/features.h"
#include "tools/qsd/lsp/json_rpc.h"

namespace quillshade::qsd::lsp {

struct BadParams : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A method that takes nothing accepts an absent params, null, {} or [] alike.
void ParseNoParams(const Json& params);

struct DocumentParams {
  std::string uri;
};
DocumentParams ParseDocumentParams(const Json& params);

struct TokenEditsParams {
  std::string uri;
  std::string previousResultId;
};
TokenEditsParams ParseTokenEditsParams(const Json& params);

struct PositionParams {
  std::string uri;
  Position position;
};
PositionParams ParsePositionParams(const Json& params);

struct ReferenceParams {
  PositionParams at;
  bool includeDeclaration = false;
};
ReferenceParams ParseReferenceParams(const Json& params);

struct RenameParams {
  PositionParams at;
  std::u16string newName;
};
RenameParams ParseRenameParams(const Json& params);

// A diagnostic the editor asks fixes for, and the JSON it sent, given back with a fix.
struct CodeActionDiagnostic {
  DiagnosticRef ref;
  Json sent;
};
struct CodeActionParams {
  std::string uri;
  std::vector<CodeActionDiagnostic> diagnostics;  // those with a code of ours
};
CodeActionParams ParseCodeActionParams(const Json& params);

struct OpenParams {
  std::string uri;
  std::int64_t version = 0;
  std::u16string text;
};
OpenParams ParseOpenParams(const Json& params);

struct ChangeParams {
  std::string uri;
  std::int64_t version = 0;
  std::vector<DocumentStore::Change> changes;
};
ChangeParams ParseChangeParams(const Json& params);

struct WatchedFileChange {
  std::string uri;
  bool deleted = false;
};
std::vector<WatchedFileChange> ParseWatchedFilesParams(const Json& params);

// The id of the request to cancel: a number or a string.
Json ParseCancelParams(const Json& params);

// quillshade/play: the document, and the editor line (0-based) to play to, if any.
struct PlayParams {
  std::string uri;
  std::optional<std::size_t> line;
};
PlayParams ParsePlayParams(const Json& params);

}  // namespace quillshade::qsd::lsp
