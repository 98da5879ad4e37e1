#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/error.h"
#include "platform/file_system.h"

namespace corvane::tool {

// Longest pattern taken, as long as the longest path the system names.
inline constexpr std::size_t kLongestPattern = 4096;

// What a walk leaves out, as shell globs (fnmatch). A pattern without a slash matches a name at
// any depth; one with a slash matches the whole path below the operand, '*', '?' and '[...]'
// never matching a '/' (FNM_PATHNAME). A leading '/' anchors a pattern at the operand ("/build":
// the top-level build only); a trailing '/' makes it match folders only ("cache/"). A backslash
// takes the next byte as it is. Operands themselves are never matched.
class Exclusions {
 public:
  Exclusions() = default;
  // The patterns as given, or why one of them is none (empty, too long, a NUL byte).
  static Result<Exclusions> of(std::vector<std::string> patterns);

  // Whether the entry at `path` (below the operand, '/'-separated, not empty) is left out.
  bool excludes(std::string_view path, bool folder) const;

  // The same rules for a walk that starts in the folder at `part` below the operand: its paths
  // are matched as `part/path`.
  Exclusions below(std::string part) const;

  bool empty() const { return patterns_.empty(); }
  const std::vector<std::string>& patterns() const { return patterns_; }

 private:
  struct Rule {
    std::string glob;  // without the anchoring '/' and the trailing '/'
    bool wholePath;    // matched against the path; else against the name
    bool foldersOnly;
  };
  std::vector<std::string> patterns_;
  std::vector<Rule> rules_;
  std::string part_;  // "" or "part/"
};

// Why a pattern cannot be one, or nothing.
std::optional<std::string> flawOfPattern(std::string_view pattern);

// The patterns of a file, one a line: empty lines and lines that start with '#' are skipped (a
// pattern for a name that starts with '#' is written "\#..."), a CR ending a line is dropped (a
// list written on Windows); spaces are kept, being part of names. A file that cannot be read, is
// larger than 1 MiB, or holds a line that is no pattern, is an error naming the line.
Result<std::vector<std::string>> readPatterns(platform::FileSystem& fileSystem, const std::string& path);

}  // namespace corvane::tool
