#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_forward.h"
#include "cli/common_options.h"
#include "cli/context.h"
#include "inputs/walk_options.h"

namespace corvane::tool::catalog {

// `corvane catalog scan|verify|diff|export|merge`: what was fingerprinted, kept in a catalog.
struct CatalogOptions {
  std::string catalog;
  std::vector<std::string> paths;      // scan: folders; merge: the catalogs to take in; where: files
  std::optional<std::string> library;  // scan: a photo library folder
  bool hash = false;                   // scan, diff: record SHA-256 too
  bool fingerprintOnly = false;        // scan: record fingerprints alone
  WalkRuleOptions walk;                // scan: what the named folders' walks leave out, kept for later scans
  bool json = false;
  std::size_t threads = 0;
  std::string sideA, sideB;  // diff
  bool missing = false;      // diff: only what A holds and B lacks, as digest lines
  bool fingerprint = false;  // export: fingerprint lines instead of SHA-256 lines
};

void addCatalogCommand(CLI::App& app, CatalogOptions& options, CommonOptions& common);
// Runs the catalog subcommand that was parsed, if any.
std::optional<int> runCatalogCommand(const CLI::App& app, const Context& context, const CatalogOptions& options);

int runScan(const Context& context, const CatalogOptions& options);
int runVerify(const Context& context, const CatalogOptions& options);
int runDiff(const Context& context, const CatalogOptions& options);
int runExport(const Context& context, const CatalogOptions& options);
int runMerge(const Context& context, const CatalogOptions& options);
int runRoots(const Context& context, const CatalogOptions& options);
int runForget(const Context& context, const CatalogOptions& options);
int runWhere(const Context& context, const CatalogOptions& options);

}  // namespace corvane::tool::catalog
