#include "catalog/store/flaws.h"

#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool::catalog {
namespace {

// Enough to see what is wrong; a catalog made of nothing but bad rows need not flood the terminal.
constexpr std::size_t kShown = 20;

}  // namespace

bool reportFlaws(const Store& store) {
  const auto& flaws = store.flaws();
  for (std::size_t i = 0; i < flaws.size() && i < kShown; ++i) {
    const auto& flaw = flaws[i];
    const std::string where = flaw.path.empty() ? flaw.root : flaw.root + "/" + flaw.path;
    printError(quoteName(store.name()) + ": left out a row that breaks the catalog's rules (" + flaw.why +
               "): " + quoteName(where));
  }
  if (flaws.size() > kShown) {
    printError(quoteName(store.name()) + ": and " + std::to_string(flaws.size() - kShown) + " more such rows");
  }
  return !flaws.empty();
}

}  // namespace corvane::tool::catalog
