// JSON values from story text, and the spaced one-line form of the trace.
#include "tools/qsd/lib/json.h"

#include "story/utf8.h"

namespace quillshade::qsd {

Json JsonText(std::u16string_view text) { return ToUtf8(text); }

std::string SpacedJson(const Json& value) {
  if (!value.is_object() && !value.is_array())
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
  const bool object = value.is_object();
  std::string out = object ? "{" : "[";
  const char* separator = "";
  for (const auto& item : value.items()) {
    out += separator;
    if (object) out += Json(item.key()).dump() + ": ";
    out += SpacedJson(item.value());
    separator = ", ";
  }
  out += object ? "}" : "]";
  return out;
}

Json FlagList(FlagBits flags) {
  Json list = Json::array();
  for (std::size_t flag = 0; flag < kFlagCount; ++flag)
    if (flags & (1u << flag)) list.push_back(std::string(1, static_cast<char>(kFlagLetters[flag])));
  return list;
}

}  // namespace quillshade::qsd
