#include "catalog/opening.h"

#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool::catalog {

std::optional<OpenCatalog> openCatalog(const Context& context, const std::string& path, Store::Access access,
                                       bool oneState) {
  auto store = Store::open(*context.files, path, access);
  if (!store) {
    printError(store.error().text());
    return std::nullopt;
  }
  if (oneState) {
    if (auto begun = (*store)->beginRead(); !begun) {
      printError(begun.error().within(quoteName(catalogName(path))).text());
      return std::nullopt;
    }
  }
  auto roots = (*store)->roots();
  if (!roots) {
    printError(roots.error().within(quoteName(catalogName(path))).text());
    return std::nullopt;
  }
  return OpenCatalog{std::move(*store), std::move(*roots)};
}

bool holdRoot(Store& store, const Root& root) {
  const auto held = store.lockRoot(root);
  if (!held) {
    printError(held.error().within(quoteName(store.name())).text());
    return false;
  }
  if (!*held) {
    printError(quoteName(store.name()) + ": the root " + quoteName(root.path) + " of machine " +
               quoteName(root.machine) +
               " is being written by another scan, merge or forget right now; nothing was written to it (run again "
               "when that one has finished)");
  }
  return *held;
}

}  // namespace corvane::tool::catalog
