#include "text/utf8.h"

namespace corvane::tool {

Utf8Sequence decodeUtf8(std::string_view text) {
  if (text.empty()) return {};
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return {1, lead};
  std::size_t length = 0;
  char32_t value = 0, least = 0;
  if ((lead & 0xe0) == 0xc0) {
    length = 2, value = lead & 0x1f, least = 0x80;
  } else if ((lead & 0xf0) == 0xe0) {
    length = 3, value = lead & 0x0f, least = 0x800;
  } else if ((lead & 0xf8) == 0xf0) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return {};
  }
  if (text.size() < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xc0) != 0x80) return {};
    value = (value << 6) | (next & 0x3f);
  }
  if (value < least || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return {};
  return {length, value};
}

bool isValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const auto sequence = decodeUtf8(text);
    if (sequence.length == 0) return false;
    text.remove_prefix(sequence.length);
  }
  return true;
}

}  // namespace corvane::tool
