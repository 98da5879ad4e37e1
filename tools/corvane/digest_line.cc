#include "digest_line.h"

#include <algorithm>
#include <cctype>

namespace corvane::tool {

std::string formatDigestLine(std::string_view digest, std::string_view name) {
  const bool escape = name.find_first_of("\\\n\r") != std::string_view::npos;
  std::string line;
  line.reserve(digest.size() + name.size() + 4);
  if (escape) line.push_back('\\');
  line.append(digest).append("  ");
  for (const char c : name) {
    if (!escape) {
      line.push_back(c);
    } else if (c == '\\') {
      line.append("\\\\");
    } else if (c == '\n') {
      line.append("\\n");
    } else if (c == '\r') {
      line.append("\\r");
    } else {
      line.push_back(c);
    }
  }
  return line;
}

std::optional<DigestLine> parseDigestLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) line.remove_prefix(1);
  constexpr std::size_t kDigits = 64;
  if (line.size() < kDigits + 3 || line[kDigits] != ' ' || (line[kDigits + 1] != ' ' && line[kDigits + 1] != '*')) {
    return std::nullopt;
  }
  DigestLine parsed;
  for (const char c : line.substr(0, kDigits)) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    parsed.digest.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  const auto name = line.substr(kDigits + 2);
  if (!escaped) {
    parsed.name = name;
    return parsed;
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      parsed.name.push_back(name[i]);
      continue;
    }
    if (++i == name.size()) return std::nullopt;
    switch (name[i]) {
      case '\\': parsed.name.push_back('\\'); break;
      case 'n': parsed.name.push_back('\n'); break;
      case 'r': parsed.name.push_back('\r'); break;
      default: return std::nullopt;
    }
  }
  return parsed;
}

}  // namespace corvane::tool
