#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane::tool {

// One UTF-8 sequence at the start of `text`: its length in bytes and the code point, or a
// length of 0 when the bytes there are no well-formed sequence (overlong forms, surrogates and
// values past U+10FFFF included).
struct Utf8Sequence {
  std::size_t length = 0;
  char32_t codePoint = 0;
};
Utf8Sequence decodeUtf8(std::string_view text);

bool isValidUtf8(std::string_view text);

}  // namespace corvane::tool
