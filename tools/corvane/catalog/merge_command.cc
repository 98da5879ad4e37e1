#include "catalog/catalog_command.h"
#include "catalog/store.h"
#include "escape.h"
#include "exit_status.h"
#include "output.h"

namespace corvane::tool::catalog {
namespace {

// Takes in one root of another catalog, whole, in one transaction.
Failure takeRoot(Store& target, Store& source, const Root& from, const Root& into) {
  auto entries = source.entriesOf(from.id);
  if (!entries) return entries.error();
  if (auto failure = target.begin()) return failure;
  if (auto failure = target.removeAllOf(into.id)) return failure;
  for (const auto& entry : *entries) {
    if (auto failure = target.put(into.id, entry)) return failure;
  }
  Root updated = into;
  updated.kind = from.kind;
  updated.hashes = from.hashes;
  updated.scannedNs = from.scannedNs;
  if (auto failure = target.updateRoot(updated)) return failure;
  return target.commit();
}

}  // namespace

int runMerge(const CommonOptions&, const CatalogOptions& options) {
  auto target = Store::open(options.catalog, Store::Access::kWrite);
  if (!target) {
    printError(target.error());
    return kExitFailed;
  }
  for (const auto& path : options.paths) {
    auto source = Store::open(path, Store::Access::kReadChecked);
    if (!source) {
      printError(source.error());
      return kExitFailed;
    }
    if (auto failure = (*source)->beginRead()) {
      printError(quoteName(path) + ": " + *failure);
      return kExitFailed;
    }
    auto roots = (*source)->roots();
    if (!roots) {
      printError(quoteName(path) + ": " + roots.error());
      return kExitFailed;
    }
    std::size_t taken = 0, kept = 0;
    for (const auto& root : *roots) {
      auto into = (*target)->rootFor(root.machine, root.path, root.kind);
      if (!into) {
        printError(quoteName(options.catalog) + ": " + into.error());
        return kExitFailed;
      }
      // The later scan of a folder wins; an unfinished one never replaces a finished one.
      if (into->scannedNs >= root.scannedNs && into->scannedNs != 0) {
        ++kept;
        continue;
      }
      if (auto failure = takeRoot(**target, **source, root, *into)) {
        printError(quoteName(options.catalog) + ": " + *failure);
        return kExitFailed;
      }
      ++taken;
    }
    (*source)->endRead();
    printOut(path + ": " + std::to_string(taken) + " taken in, " + std::to_string(kept) +
             " kept (scanned as late or later here)");
  }
  return kExitOk;
}

}  // namespace corvane::tool::catalog
