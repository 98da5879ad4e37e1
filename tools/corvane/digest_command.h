#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "options.h"

namespace corvane::tool {

// `corvane fingerprint` and `corvane hash`: digests of files or library assets, printed as
// sha256sum does, or checked against such a list.
enum class DigestKind { kFingerprint, kHash };

struct DigestOptions {
  std::vector<std::string> operands;  // paths, or asset identifiers with --asset
  bool recursive = false;
  bool followLinks = false;  // -L
  std::size_t threads = 0;  // 0: one per processor
  bool json = false;
  std::optional<std::string> checkList;
  bool assets = false;
  std::optional<std::string> library;
};

CLI::App* addDigestCommand(CLI::App& app, DigestKind kind, DigestOptions& options);
int runDigest(const CommonOptions& common, DigestKind kind, const DigestOptions& options);

}  // namespace corvane::tool
