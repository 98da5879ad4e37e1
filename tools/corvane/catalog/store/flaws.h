#pragma once

#include "catalog/store/store.h"

namespace corvane::tool::catalog {

// Tells on standard error, once each and escaped, of the rows of a catalog left out for breaking
// its rules; true when there were any (the command then ends with status 1).
bool reportFlaws(const Store& store);

}  // namespace corvane::tool::catalog
