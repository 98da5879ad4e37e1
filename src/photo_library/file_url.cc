#include "photo_library/file_url.h"

#include <cctype>

namespace corvane::photo_library {
namespace {

bool unreserved(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

std::string fileURLWithPath(std::string_view absolutePath) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char ch : absolutePath) {
    const auto c = static_cast<unsigned char>(ch);
    if (unreserved(c) || c == '/') {
      url.push_back(ch);
    } else {
      url.push_back('%');
      url.push_back(kDigits[c >> 4]);
      url.push_back(kDigits[c & 0xf]);
    }
  }
  return url;
}

std::optional<std::string> pathOfFileURL(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.size() < kScheme.size() || !equalsIgnoringCase(url.substr(0, kScheme.size()), kScheme)) return std::nullopt;
  url.remove_prefix(kScheme.size());
  const auto slash = url.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto host = url.substr(0, slash);
  if (!host.empty() && !equalsIgnoringCase(host, "localhost")) return std::nullopt;
  url.remove_prefix(slash);
  url = url.substr(0, url.find_first_of("?#"));

  std::string path;
  path.reserve(url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] != '%') {
      path.push_back(url[i]);
      continue;
    }
    if (i + 2 >= url.size()) return std::nullopt;
    const int high = hexValue(url[i + 1]), low = hexValue(url[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    const char decoded = static_cast<char>(high * 16 + low);
    if (decoded == '\0') return std::nullopt;
    path.push_back(decoded);
    i += 2;
  }
  return path;
}

}  // namespace corvane::photo_library
