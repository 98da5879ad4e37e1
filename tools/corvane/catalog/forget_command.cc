#include <algorithm>

#include "catalog/catalog_command.h"
#include "catalog/opening.h"
#include "catalog/store/flaws.h"
#include "catalog/store/store.h"
#include "cli/exit_status.h"
#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool::catalog {
namespace {

// The root a command-line operand names: MACHINE:PATH, or a path of this machine, as given or
// (when it still exists) with its links resolved.
const Root* rootNamed(const Context& context, const std::vector<Root>& roots, const std::string& operand) {
  const auto find = [&](const std::string& machine, const std::string& path) -> const Root* {
    const auto found =
        std::find_if(roots.begin(), roots.end(), [&](const Root& r) { return r.machine == machine && r.path == path; });
    return found == roots.end() ? nullptr : &*found;
  };
  const std::string machine = machineName();
  if (const Root* root = find(machine, operand)) return root;
  if (const auto canonical = context.files->canonicalPath(operand)) {
    if (const Root* root = find(machine, *canonical)) return root;
  }
  if (const auto colon = operand.find(":/"); colon != std::string::npos) {
    return find(operand.substr(0, colon), operand.substr(colon + 1));
  }
  return nullptr;
}

}  // namespace

int runForget(const Context& context, const CatalogOptions& options) {
  auto opened = openCatalog(context, options.catalog, Store::Access::kWrite, false);
  if (!opened) return kExitFailed;
  auto& store = opened->store;
  const auto* roots = &opened->roots;
  auto counts = store->entryCounts();
  if (!counts) {
    printError(counts.error().within(quoteName(catalogName(options.catalog))).text());
    return kExitFailed;
  }
  // Every operand is found before anything goes: a typo removes nothing.
  std::vector<const Root*> chosen;
  for (const auto& operand : options.paths) {
    const Root* root = rootNamed(context, *roots, operand);
    if (root == nullptr) {
      printError(quoteName(catalogName(options.catalog)) + ": holds no root " + quoteName(operand) +
                 " (see 'corvane catalog roots')");
      return kExitFailed;
    }
    if (std::find(chosen.begin(), chosen.end(), root) == chosen.end()) chosen.push_back(root);
  }
  for (const Root* root : chosen) {
    if (!holdRoot(*store, *root)) return kExitFailed;
  }
  if (auto begun = store->begin(); !begun) {
    printError(begun.error().within(quoteName(catalogName(options.catalog))).text());
    return kExitFailed;
  }
  for (const Root* root : chosen) {
    if (auto gone = store->forget(root->id); !gone) {
      printError(gone.error().within(quoteName(catalogName(options.catalog))).text());
      return kExitFailed;  // the transaction is rolled back when the connection closes
    }
  }
  if (auto committed = store->commit(); !committed) {
    printError(committed.error().within(quoteName(catalogName(options.catalog))).text());
    return kExitFailed;
  }
  for (const Root* root : chosen) {
    std::int64_t entries = 0;
    for (const auto& [id, count] : *counts) {
      if (id == root->id) entries = count;
    }
    printOut("forgot " + root->machine + ":" + quoteName(root->path) + " (" + std::to_string(entries) +
             (entries == 1 ? " entry)" : " entries)"));
  }
  return reportFlaws(*store) ? kExitFailed : kExitOk;
}

}  // namespace corvane::tool::catalog
