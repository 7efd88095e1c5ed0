// The decoding rules written as plainly as possible, for checking the fast decoder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "story/code_page.h"
#include "story/decode.h"

namespace quillshade::test {

struct ReferenceDecoding {
  std::u16string text;
  std::vector<BadToken> badTokens;
};

// Splits at every space; a token loses tab, CR and LF at its ends, and must then be an
// optional sign and one or more digits whose value is a character of the code page.
inline ReferenceDecoding ReferenceDecode(std::string_view file, const CodePage& page) {
  ReferenceDecoding result;
  std::size_t start = 0;
  while (start <= file.size()) {
    std::size_t end = file.find(' ', start);
    if (end == std::string_view::npos) end = file.size();
    const std::string_view token = file.substr(start, end - start);
    const std::size_t first = token.find_first_not_of("\t\r\n");
    if (first != std::string_view::npos) {
      const std::string_view core = token.substr(first, token.find_last_not_of("\t\r\n") - first + 1);
      const bool negative = core.front() == '-';
      const std::string_view digits = (negative || core.front() == '+') ? core.substr(1) : core;
      TokenFault fault = TokenFault::NotANumber;
      if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos) {
        const std::size_t significant = digits.find_first_not_of('0');
        const std::string_view value = significant == std::string_view::npos ? "0" : digits.substr(significant);
        const long long magnitude = value.size() > 11 ? 99999999999LL : std::stoll(std::string(value));
        fault = TokenFault::OutOfRange;
        if (magnitude <= (negative ? 2147483648LL : 2147483647LL)) {
          fault = TokenFault::NoCharacter;
          if (const auto c = CharacterOfCode(page, static_cast<std::int32_t>(negative ? -magnitude : magnitude))) {
            result.text += *c;
            start = end + 1;
            continue;
          }
        }
      }
      result.badTokens.push_back(BadToken{start, token.size(), fault});
    }
    start = end + 1;
  }
  return result;
}

}  // namespace quillshade::test
