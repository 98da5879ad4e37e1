#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "inputs/walk_options.h"
#include "plugin/digest_kind.h"

namespace corvane::tool {

// What `corvane fingerprint` and `corvane hash` were asked to do.
struct DigestOptions {
  std::vector<std::string> operands;  // paths, asset identifiers with --asset, lists with -c
  bool recursive = false;
  bool followLinks = false;  // -L
  WalkRuleOptions walk;      // --exclude, --exclude-from, -x
  std::size_t threads = 0;   // 0: one per processor
  bool json = false;
  bool assets = false;
  std::optional<std::string> library;
  // sha256sum's own.
  bool check = false;
  bool tag = false;
  bool zero = false;
  std::optional<bool> binary;  // -b or -t, the last one given
  bool status = false;
  bool strict = false;
  bool warn = false;
  bool ignoreMissing = false;
};

// The BSD form's name for a digest, and the JSON key of its value.
const char* algorithmName(DigestKind kind);
const char* jsonKey(DigestKind kind);

}  // namespace corvane::tool
