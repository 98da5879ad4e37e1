#pragma once

#include <sqlite3.h>

#include <string>

#include "catalog/store/connection.h"

namespace corvane::tool::catalog {

// A connection to an SQLite file; `flags` are SQLite's open flags. A writer waits up to
// `busyMilliseconds` for another connection's transaction to end.
Result<Database> openSqlite(const std::string& path, int flags, int busyMilliseconds = 0);

}  // namespace corvane::tool::catalog
