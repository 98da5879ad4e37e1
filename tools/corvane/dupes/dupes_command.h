#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_forward.h"
#include "cli/common_options.h"
#include "cli/context.h"
#include "inputs/walk_options.h"

namespace corvane::tool {

// `corvane dupes`: groups of files (or library assets) with identical content.
struct DupesOptions {
  std::vector<std::string> operands;
  bool recursive = false;
  bool followLinks = false;  // -L
  WalkRuleOptions walk;      // --exclude, --exclude-from, -x
  std::size_t threads = 0;   // 0: one per processor
  std::uint64_t minSize = 0;
  std::optional<std::uint64_t> maxSize;
  bool empty = false;      // empty files are duplicates of each other
  bool hardLinks = false;  // also list the names that are one file
  bool probable = false;   // list fingerprint-only matches, unconfirmed
  bool paranoid = false;   // confirm everything byte by byte
  bool json = false;
  bool nul = false;  // -0, -z
  std::optional<std::string> library;
  std::optional<std::string> album;
  std::optional<std::string> catalog;  // the groups a catalog holds, across its machines: no file read
  // Acting on the duplicates found, or on those of a saved report.
  std::optional<std::string> act;   // reflink, link or remove
  std::optional<std::string> from;  // a report that --json wrote; "-" is standard input
  std::string keep = "first";
  std::vector<std::string> keepIn;
  bool dryRun = false;
};

CLI::App* addDupesCommand(CLI::App& app, DupesOptions& options, CommonOptions& common);
int runDupes(const Context& context, const DupesOptions& options);

}  // namespace corvane::tool
