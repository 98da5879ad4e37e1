#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::tool {

// One line of a digest list, `<digest>  <name>`, as sha256sum writes and reads it: a name with
// a backslash or a line break is escaped, and the line then starts with a backslash.
std::string formatDigestLine(std::string_view digest, std::string_view name);

struct DigestLine {
  std::string digest;  // 64 lower-case hexadecimal digits
  std::string name;
};

// Reads one line (without its line feed); none when it is not a digest line. Accepts the
// binary-mode marker ('*' before the name) that sha256sum may write.
std::optional<DigestLine> parseDigestLine(std::string_view line);

}  // namespace corvane::tool
