#pragma once

#include <string>

#include "catalog/diff.h"
#include "catalog/scanner.h"
#include "catalog/store/store.h"

namespace corvane::tool::catalog {

// Everything a catalog holds, read in one transaction (a scan may be writing meanwhile).
Result<Side> sideOfStore(Store& store);

// Whether a side of a diff names a folder to scan (else a catalog).
bool isFolder(platform::FileSystem& fileSystem, const std::string& operand);

// A side of a diff: a folder (scanned into memory, nothing written) or a catalog.
Result<Side> loadSide(const Context& context, const std::string& operand, const ScanSettings& settings);

}  // namespace corvane::tool::catalog
