#include <memory>
#include <vector>

#include "catalog/catalog_command.h"
#include "catalog/opening.h"
#include "catalog/store/flaws.h"
#include "catalog/store/store.h"
#include "cli/exit_status.h"
#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool::catalog {
namespace {

// Takes in one root of another catalog, whole, in one transaction.
Result<> takeRoot(Store& target, Store& source, const Root& from, const Root& into) {
  auto entries = source.entriesOf(from.id);
  if (!entries) return failure(entries.error());
  if (auto done = target.begin(); !done) return done;
  if (auto done = target.removeAllOf(into.id); !done) return done;
  for (const auto& entry : *entries) {
    if (auto done = target.put(into.id, entry); !done) return done;
  }
  Root updated = into;
  updated.kind = from.kind;
  updated.hashes = from.hashes;
  updated.scannedNs = from.scannedNs;
  updated.exclusions = from.exclusions;
  updated.oneFileSystem = from.oneFileSystem;
  if (auto done = target.updateRoot(updated); !done) return done;
  if (auto done = target.setWalkRules(updated); !done) return done;
  return target.commit();
}

}  // namespace

int runMerge(const Context& context, const CatalogOptions& options) {
  // Every source is opened, and checked, before the target: a source that cannot be read leaves
  // no new, empty catalog behind.
  std::vector<std::unique_ptr<Store>> sources;
  for (const auto& path : options.paths) {
    auto source = Store::open(*context.files, path, Store::Access::kReadChecked);
    if (!source) {
      printError(source.error().text());
      return kExitFailed;
    }
    sources.push_back(std::move(*source));
  }
  auto target = Store::open(*context.files, options.catalog, Store::Access::kWrite);
  if (!target) {
    printError(target.error().text());
    return kExitFailed;
  }
  bool flawed = false;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const auto& path = options.paths[i];
    auto* source = &sources[i];
    if (auto begun = (*source)->beginRead(); !begun) {
      printError(begun.error().within(quoteName(catalogName(path))).text());
      return kExitFailed;
    }
    auto roots = (*source)->roots();
    if (!roots) {
      printError(roots.error().within(quoteName(catalogName(path))).text());
      return kExitFailed;
    }
    std::size_t taken = 0, kept = 0;
    for (const auto& root : *roots) {
      auto into = (*target)->rootFor(root.machine, root.path, root.kind, root.hashes);
      if (!into) {
        printError(into.error().within(quoteName(catalogName(options.catalog))).text());
        return kExitFailed;
      }
      // The later scan of a folder wins; an unfinished one never replaces a finished one.
      const auto asLate = [&](const Root& here) { return here.scannedNs >= root.scannedNs && here.scannedNs != 0; };
      if (asLate(*into)) {
        ++kept;
        continue;
      }
      if (!holdRoot(**target, *into)) return kExitFailed;
      // Asked again once held: another machine's merge or scan may have written it meanwhile.
      into = (*target)->rootFor(root.machine, root.path, root.kind, root.hashes);
      if (!into) {
        printError(into.error().within(quoteName(catalogName(options.catalog))).text());
        return kExitFailed;
      }
      if (asLate(*into)) {
        ++kept;
        continue;
      }
      if (auto taken = takeRoot(**target, **source, root, *into); !taken) {
        printError(taken.error().within(quoteName(catalogName(options.catalog))).text());
        return kExitFailed;
      }
      ++taken;
    }
    (*source)->endRead();
    flawed |= reportFlaws(**source);
    printOut(catalogName(path) + ": " + std::to_string(taken) + " taken in, " + std::to_string(kept) +
             " kept (scanned as late or later here)");
  }
  return flawed ? kExitFailed : kExitOk;
}

}  // namespace corvane::tool::catalog
