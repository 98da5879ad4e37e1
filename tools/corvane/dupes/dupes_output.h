#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_status.h"

namespace corvane::tool {

enum class DupesFormat {
  kLines,  // a name a line, each group ended by a blank line, as fdupes and jdupes print them
  kNul,    // each name ended by a NUL byte, each group by one more, as jdupes -0 prints them
  kJson,   // one JSON object a line per group
};

struct DupesStyle {
  DupesFormat format = DupesFormat::kLines;
  // Every line starts with what it is ("duplicate", "probable", "same-file") and two spaces,
  // so that a fingerprint-only match or a second name of one file is never taken for a copy.
  bool marked = false;
  std::string namesKey = "paths";  // JSON: the key of the names
};

// One group as printed.
struct PrintedGroup {
  enum class Kind { kDuplicates, kProbable, kSameFile };
  Kind kind = Kind::kDuplicates;
  std::uint64_t size = 0;
  std::optional<std::string> sha256;
  std::optional<std::string> fingerprint;
  std::vector<std::string> names;
  // Of each name as the scan saw it: JSON gives them in "files", so that a saved report can be
  // acted on after checking that each file is still the one seen.
  std::vector<platform::FileStatus> statuses;
};

// Groups written to standard output in the chosen format, in large writes, each checked.
class DupesOutput {
 public:
  explicit DupesOutput(DupesStyle style) : style_(std::move(style)) {}
  ~DupesOutput() { finish(); }
  DupesOutput(const DupesOutput&) = delete;
  DupesOutput& operator=(const DupesOutput&) = delete;

  void print(const PrintedGroup& group);
  // Writes what is left; false when some write failed.
  bool finish();

 private:
  void flush();

  const DupesStyle style_;
  std::string buffer_;
  bool failed_ = false;
};

}  // namespace corvane::tool
