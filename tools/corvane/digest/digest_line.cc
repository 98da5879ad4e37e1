#include "digest/digest_line.h"

#include <cctype>

#include "text/escape.h"

namespace corvane::tool {
namespace {

constexpr std::size_t kDigits = 64;

bool blank(char c) { return c == ' ' || c == '\t'; }

// The digest field: exactly 64 hexadecimal digits, kept in lower case.
bool readDigest(std::string_view text, std::string& digest) {
  if (text.size() != kDigits) return false;
  digest.clear();
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digest.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return true;
}

// Undoes escapeName: only \\, \n and \r may appear.
bool unescape(std::string_view text, std::string& name) {
  name.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') return false;
    if (text[i] != '\\') {
      name.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': name.push_back('\\'); break;
      case 'n': name.push_back('\n'); break;
      case 'r': name.push_back('\r'); break;
      default: return false;
    }
  }
  return true;
}

}  // namespace

std::string formatDigestLine(const LineStyle& style, std::string_view digest, std::string_view name) {
  if (style.zero) {
    if (style.bsd) return std::string(style.algorithm).append(" (").append(name).append(") = ").append(digest);
    return std::string(digest).append(style.binary ? " *" : "  ").append(name);
  }
  if (style.bsd) return lineWithName(std::string(style.algorithm) + " (", name, std::string(") = ").append(digest));
  return lineWithName(std::string(digest) + (style.binary ? " *" : "  "), name, {});
}

DigestLineReader::Kind DigestLineReader::read(std::string_view line, DigestLine& entry) {
  if (line.starts_with('#')) return Kind::kIgnored;
  if (!zero_ && line.ends_with('\r')) line.remove_suffix(1);
  if (line.empty()) return Kind::kIgnored;
  return split(line, entry) ? Kind::kEntry : Kind::kMalformed;
}

bool DigestLineReader::split(std::string_view line, DigestLine& entry) {
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  const bool escaped = line.starts_with('\\');
  if (escaped) line.remove_prefix(1);

  if (line.starts_with(algorithm_)) {
    line.remove_prefix(algorithm_.size());
    if (line.starts_with(' ')) line.remove_prefix(1);
    if (!line.starts_with('(')) return false;
    return splitBsd(line.substr(1), escaped, entry);
  }

  if (line.size() < kDigits + 2 + (line.starts_with('\\') ? 1 : 0)) return false;
  if (!blank(line[kDigits])) return false;
  auto rest = line.substr(kDigits + 1);
  if (rest.size() == 1 || (rest.front() != ' ' && rest.front() != '*')) {
    if (singleBlank_ == SingleBlank::kRefused) return false;
    singleBlank_ = SingleBlank::kTaken;
  } else if (singleBlank_ != SingleBlank::kTaken) {
    singleBlank_ = SingleBlank::kRefused;
    rest.remove_prefix(1);  // the mode marker: ' ' text, '*' binary, the same on this system
  }
  // Checked only now: a line with a bad digest still decides the form above, as in sha256sum.
  if (!readDigest(line.substr(0, kDigits), entry.digest)) return false;
  if (!escaped) {
    entry.name = rest;
    return true;
  }
  return unescape(rest, entry.name);
}

bool DigestLineReader::splitBsd(std::string_view rest, bool escaped, DigestLine& entry) const {
  // The name runs to the last closing parenthesis.
  const auto close = rest.rfind(')');
  if (close == std::string_view::npos) return false;
  if (escaped) {
    if (!unescape(rest.substr(0, close), entry.name)) return false;
  } else {
    entry.name = rest.substr(0, close);
  }
  rest.remove_prefix(close + 1);
  while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
  if (!rest.starts_with('=')) return false;
  rest.remove_prefix(1);
  while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
  return readDigest(rest, entry.digest);
}

}  // namespace corvane::tool
