#include "inputs/exclusions.h"

#include <fnmatch.h>

#include <algorithm>

#include "text/escape.h"

namespace corvane::tool {
namespace {

// More than any list of patterns a person writes; a device that never ends is no list.
constexpr std::size_t kLongestList = 1 << 20;

// The pattern without its anchoring and folder marks: what fnmatch is given.
std::string_view globOf(std::string_view pattern) {
  if (pattern.starts_with('/')) pattern.remove_prefix(1);
  while (pattern.ends_with('/')) pattern.remove_suffix(1);
  return pattern;
}

}  // namespace

std::optional<std::string> flawOfPattern(std::string_view pattern) {
  if (pattern.find('\0') != std::string_view::npos) return "a pattern holds a NUL byte";
  if (pattern.size() > kLongestPattern) return "a pattern is longer than " + std::to_string(kLongestPattern) + " bytes";
  if (globOf(pattern).empty()) return "an empty pattern (or '/' alone) matches nothing";
  return std::nullopt;
}

Result<Exclusions> Exclusions::of(std::vector<std::string> patterns) {
  Exclusions exclusions;
  for (const auto& pattern : patterns) {
    if (auto flaw = flawOfPattern(pattern)) return failure(quoteName(pattern) + ": " + *flaw);
    const std::string_view glob = globOf(pattern);
    exclusions.rules_.push_back({std::string(glob),
                                 pattern.starts_with('/') || glob.find('/') != std::string_view::npos,
                                 pattern.ends_with('/')});
  }
  exclusions.patterns_ = std::move(patterns);
  return exclusions;
}

bool Exclusions::excludes(std::string_view path, bool folder) const {
  if (rules_.empty()) return false;
  const std::string whole = part_ + std::string(path);
  const auto slash = whole.rfind('/');
  const std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
  return std::any_of(rules_.begin(), rules_.end(), [&](const Rule& rule) {
    if (rule.foldersOnly && !folder) return false;
    return rule.wholePath ? ::fnmatch(rule.glob.c_str(), whole.c_str(), FNM_PATHNAME) == 0
                          : ::fnmatch(rule.glob.c_str(), name.c_str(), 0) == 0;
  });
}

Exclusions Exclusions::below(std::string part) const {
  Exclusions moved = *this;
  moved.part_ = part.empty() ? std::string() : std::move(part) + "/";
  return moved;
}

Result<std::vector<std::string>> readPatterns(platform::FileSystem& fileSystem, const std::string& path) {
  const auto cannot = [&](const std::string& why) { return failure(Error{path, why}); };
  auto stream = fileSystem.openStream(path);
  if (!stream) return cannot(stream.error().description());
  std::string text;
  std::vector<std::uint8_t> buffer(1 << 16);
  for (;;) {
    const auto count = (*stream)->read(buffer);
    if (!count) return cannot(count.error().description());
    if (*count == 0) break;
    text.append(reinterpret_cast<const char*>(buffer.data()), *count);
    if (text.size() > kLongestList) return cannot("larger than 1 MiB: not a list of patterns");
  }
  // A list saved by an editor that marks UTF-8 so starts with a byte order mark: not a name.
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  std::vector<std::string> patterns;
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const auto end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (line.ends_with('\r')) line.pop_back();
    if (line.empty() || line.starts_with('#')) continue;
    if (auto flaw = flawOfPattern(line)) return cannot("line " + std::to_string(number) + ": " + *flaw);
    patterns.push_back(std::move(line));
  }
  return patterns;
}

}  // namespace corvane::tool
