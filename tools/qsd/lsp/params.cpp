// Reading each method's parameters, with a message naming the first thing wrong.
#include "tools/qsd/lsp/params.h"

#include "story/utf8.h"

namespace quillshade::qsd::lsp {
namespace {

const Json& Field(const Json& object, const char* name) {
  if (!object.is_object() || !object.contains(name)) throw BadParams(std::string("missing \"") + name + "\"");
  return object[name];
}

std::string StringField(const Json& object, const char* name) {
  const Json& value = Field(object, name);
  if (!value.is_string()) throw BadParams(std::string("\"") + name + "\" is not a string");
  return value.get<std::string>();
}

std::int64_t IntegerField(const Json& object, const char* name) {
  const Json& value = Field(object, name);
  if (!value.is_number_integer() || (value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX))
    throw BadParams(std::string("\"") + name + "\" is not an integer");
  return value.get<std::int64_t>();
}

std::u16string TextField(const Json& object, const char* name) {
  std::optional<std::u16string> text = FromUtf8(StringField(object, name));
  if (!text) throw BadParams(std::string("\"") + name + "\" is not UTF-8");
  return std::move(*text);
}

Position PositionField(const Json& object, const char* name) {
  const Json& position = Field(object, name);
  return Position{IntegerField(position, "line"), IntegerField(position, "character")};
}

Range RangeField(const Json& object, const char* name) {
  const Json& range = Field(object, name);
  return Range{PositionField(range, "start"), PositionField(range, "end")};
}

std::string DocumentUri(const Json& params) { return StringField(Field(params, "textDocument"), "uri"); }

bool IsNumberOrString(const Json& id) { return id.is_string() || id.is_number_integer(); }

}  // namespace

void ParseNoParams(const Json& params) {
  if (!params.is_null() && !params.is_object() && !params.is_array())
    throw BadParams("params must be an object, an array or null");
}

DocumentParams ParseDocumentParams(const Json& params) { return {DocumentUri(params)}; }

TokenEditsParams ParseTokenEditsParams(const Json& params) {
  return {DocumentUri(params), StringField(params, "previousResultId")};
}

PositionParams ParsePositionParams(const Json& params) {
  // The position first: the same mistake is named the same whichever document it is in.
  const Position position = PositionField(params, "position");
  return {DocumentUri(params), position};
}

ReferenceParams ParseReferenceParams(const Json& params) {
  ReferenceParams parsed{ParsePositionParams(params), false};
  if (params.contains("context")) {
    const Json& context = params["context"];
    if (!context.is_object()) throw BadParams("\"context\" is not an object");
    if (context.contains("includeDeclaration")) {
      if (!context["includeDeclaration"].is_boolean()) throw BadParams("\"includeDeclaration\" is not true or false");
      parsed.includeDeclaration = context["includeDeclaration"].get<bool>();
    }
  }
  return parsed;
}

RenameParams ParseRenameParams(const Json& params) {
  RenameParams parsed{ParsePositionParams(params), {}};
  parsed.newName = TextField(params, "newName");
  return parsed;
}

CodeActionParams ParseCodeActionParams(const Json& params) {
  CodeActionParams parsed{DocumentUri(params), {}};
  if (params.contains("range")) RangeField(params, "range");  // unused, but a bad one is named
  const Json& context = Field(params, "context");
  if (!context.is_object()) throw BadParams("\"context\" is not an object");
  if (!context.contains("diagnostics")) return parsed;
  const Json& diagnostics = context["diagnostics"];
  if (!diagnostics.is_array()) throw BadParams("\"diagnostics\" is not an array");
  for (const Json& diagnostic : diagnostics) {
    if (!diagnostic.is_object()) throw BadParams("a diagnostic that is not an object");
    // Other servers' diagnostics (or ones without a code) have no fix here.
    if (!diagnostic.contains("code") || !diagnostic["code"].is_string()) continue;
    parsed.diagnostics.push_back({DiagnosticRef{diagnostic["code"].get<std::string>(), RangeField(diagnostic, "range")},
                                  diagnostic});
  }
  return parsed;
}

OpenParams ParseOpenParams(const Json& params) {
  const Json& item = Field(params, "textDocument");
  return {StringField(item, "uri"), IntegerField(item, "version"), TextField(item, "text")};
}

ChangeParams ParseChangeParams(const Json& params) {
  const Json& item = Field(params, "textDocument");
  ChangeParams parsed{StringField(item, "uri"), IntegerField(item, "version"), {}};
  const Json& changes = Field(params, "contentChanges");
  if (!changes.is_array()) throw BadParams("\"contentChanges\" is not an array");
  parsed.changes.reserve(changes.size());
  for (const Json& change : changes) {
    DocumentStore::Change one;
    if (change.is_object() && change.contains("range")) one.range = RangeField(change, "range");
    one.text = TextField(change, "text");
    parsed.changes.push_back(std::move(one));
  }
  return parsed;
}

std::vector<WatchedFileChange> ParseWatchedFilesParams(const Json& params) {
  const Json& changes = Field(params, "changes");
  if (!changes.is_array()) throw BadParams("\"changes\" is not an array");
  std::vector<WatchedFileChange> parsed;
  for (const Json& change : changes) {
    constexpr std::int64_t kDeleted = 3;
    parsed.push_back({StringField(change, "uri"), IntegerField(change, "type") == kDeleted});
  }
  return parsed;
}

Json ParseCancelParams(const Json& params) {
  const Json& id = Field(params, "id");
  if (!IsNumberOrString(id)) throw BadParams("an id that is neither a number nor a string");
  return id;
}

PlayParams ParsePlayParams(const Json& params) {
  PlayParams parsed{DocumentUri(params), std::nullopt};
  if (params.contains("line") && !params["line"].is_null()) {
    const std::int64_t line = IntegerField(params, "line");
    if (line < 0) throw BadParams("\"line\" is negative");
    parsed.line = static_cast<std::size_t>(line);
  }
  return parsed;
}

}  // namespace quillshade::qsd::lsp
