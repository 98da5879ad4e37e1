#pragma once

#include <string>

#include "catalog/diff.h"
#include "catalog/scanner.h"
#include "catalog/store.h"

namespace corvane::tool::catalog {

// Everything a catalog holds, read in one transaction (a scan may be writing meanwhile).
Result<Side> sideOfStore(Store& store);

// A side of a diff: a folder (scanned into memory, nothing written) or a catalog.
Result<Side> loadSide(const std::string& operand, const CommonOptions& common, const ScanSettings& settings);

}  // namespace corvane::tool::catalog
