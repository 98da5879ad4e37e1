#pragma once

#include <string>

#include "catalog/store/connection.h"
#include "platform/file_system.h"

namespace corvane::tool::catalog {

// What lies where a catalog should be, looked at through the file layer before SQLite may open
// anything there: nothing yet, or a catalog of ours (by the SQLite header and our application
// id). Anything else is an error that says what it is, and the file is left alone.
enum class CatalogFile { kMissing, kCatalog };
Result<CatalogFile> examineCatalogFile(platform::FileSystem& fileSystem, const std::string& path);

// Makes an empty catalog at `path`, which must not exist: it is built under a temporary name
// beside it and linked into place whole, so that a catalog is either absent or complete, and
// nothing that appeared at `path` meanwhile is replaced. `build` lays out the schema.
Result<> createCatalogFile(platform::FileSystem& fileSystem, const std::string& path, Result<> (*build)(Database& db));

}  // namespace corvane::tool::catalog
