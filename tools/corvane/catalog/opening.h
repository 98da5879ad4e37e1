#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/store/store.h"
#include "cli/context.h"

namespace corvane::tool::catalog {

// A catalog opened for a command, with its sound roots.
struct OpenCatalog {
  std::unique_ptr<Store> store;
  std::vector<Root> roots;
};

// Opens the catalog at `path` and reads its roots; with `oneState`, inside a read transaction,
// so that what follows sees one state whatever a scan writes meanwhile. On failure the reason
// is printed, and there is none.
std::optional<OpenCatalog> openCatalog(const Context& context, const std::string& path, Store::Access access,
                                       bool oneState);

// Holds a root for the writes of this run (Store::lockRoot); when another run holds it, says so,
// naming the root and its machine, and returns false.
bool holdRoot(Store& store, const Root& root);

}  // namespace corvane::tool::catalog
