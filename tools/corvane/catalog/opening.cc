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
      printError(begun.error().within(quoteName(path)).text());
      return std::nullopt;
    }
  }
  auto roots = (*store)->roots();
  if (!roots) {
    printError(roots.error().within(quoteName(path)).text());
    return std::nullopt;
  }
  return OpenCatalog{std::move(*store), std::move(*roots)};
}

}  // namespace corvane::tool::catalog
