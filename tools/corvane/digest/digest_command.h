#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "options.h"

namespace corvane::tool {

// `corvane fingerprint` and `corvane hash`: digests of files, standard input or library assets,
// printed as sha256sum does, or checked against such lists.
enum class DigestKind { kFingerprint, kHash };

struct DigestOptions {
  std::vector<std::string> operands;  // paths, asset identifiers with --asset, lists with -c
  bool recursive = false;
  bool followLinks = false;  // -L
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

CLI::App* addDigestCommand(CLI::App& app, DigestKind kind, DigestOptions& options, CommonOptions& common);
int runDigest(const CommonOptions& common, DigestKind kind, const DigestOptions& options);

}  // namespace corvane::tool
