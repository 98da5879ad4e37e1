#include "text/json_name.h"

#include "text/utf8.h"

namespace corvane::tool {

void putName(nlohmann::ordered_json& object, const std::string& key, std::string_view name) {
  object[key] = std::string(name);
  if (!isValidUtf8(name)) object[key + "_base64"] = base64(name);
}

std::string base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 3; ++j) {
      group = (group << 8) | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    }
    for (std::size_t j = 0; j < 4; ++j) {
      text.push_back(j <= n ? kAlphabet[(group >> (18 - 6 * j)) & 0x3f] : '=');
    }
  }
  return text;
}

}  // namespace corvane::tool
