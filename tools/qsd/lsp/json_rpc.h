// JSON-RPC 2.0 messages as the editor service sends them, and the protocol's error codes.
#pragma once

#include <string>
#include <string_view>

#include "tools/qsd/lib/json.h"

namespace quillshade::qsd::lsp {

// Json is the toolkit's one alias: objects keep the order their keys were written in.

enum class ErrorCode : int {
  ParseError = -32700,
  InvalidRequest = -32600,
  MethodNotFound = -32601,
  InvalidParams = -32602,
  InternalError = -32603,
  ServerNotInitialized = -32002,
  RequestFailed = -32803,
  RequestCancelled = -32800,
  ContentModified = -32801,
};

inline Json Response(const Json& id, Json result) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

// The same with its result already written as JSON text.
inline std::string ResponseText(const Json& id, std::string_view result) {
  std::string text = R"({"jsonrpc":"2.0","id":)" + id.dump(-1, ' ', false, Json::error_handler_t::replace) + R"(,"result":)";
  text.reserve(text.size() + result.size() + 1);
  return text.append(result) + '}';
}

inline Json ErrorResponse(const Json& id, ErrorCode code, std::string_view message) {
  return Json{{"jsonrpc", "2.0"},
              {"id", id},
              {"error", {{"code", static_cast<int>(code)}, {"message", std::string(message)}}}};
}

inline Json Notification(std::string_view method, Json params) {
  return Json{{"jsonrpc", "2.0"}, {"method", std::string(method)}, {"params", std::move(params)}};
}

}  // namespace quillshade::qsd::lsp
