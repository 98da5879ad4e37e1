#include <algorithm>
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
Result<> takeRoot(Store& target, const std::vector<Entry>& entries, const Root& from, const Root& into) {
  if (auto done = target.begin(); !done) return done;
  if (auto done = target.removeAllOf(into.id); !done) return done;
  for (const auto& entry : entries) {
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

// The later scan of a folder wins; an unfinished one never replaces a finished one.
bool asLate(const Root& here, const Root& from) { return here.scannedNs >= from.scannedNs && here.scannedNs != 0; }

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
    const auto targetFailed = [&](const Error& error) {
      printError(error.within(quoteName(catalogName(options.catalog))).text());
      return kExitFailed;
    };
    // What the target holds already, looked at without writing to it.
    auto here = (*target)->roots();
    if (!here) return targetFailed(here.error());
    for (const auto& root : *roots) {
      const auto known = std::find_if(here->begin(), here->end(),
                                      [&](const Root& r) { return r.machine == root.machine && r.path == root.path; });
      if (known != here->end() && asLate(*known, root)) {
        ++kept;
        continue;
      }
      // The source read whole before the target is written: a source that fails leaves no trace.
      auto entries = (*source)->entriesOf(root.id);
      if (!entries) {
        printError(entries.error().within(quoteName(catalogName(path))).text());
        return kExitFailed;
      }
      auto into = (*target)->rootFor(root.machine, root.path, root.kind, root.hashes);
      if (!into) return targetFailed(into.error());
      if (!holdRoot(**target, *into)) return kExitFailed;
      // Asked again once held: another machine's merge or scan may have written it meanwhile.
      into = (*target)->rootFor(root.machine, root.path, root.kind, root.hashes);
      if (!into) return targetFailed(into.error());
      if (asLate(*into, root)) {
        ++kept;
        continue;
      }
      if (auto done = takeRoot(**target, *entries, root, *into); !done) return targetFailed(done.error());
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
