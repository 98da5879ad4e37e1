#pragma once

#include <string>
#include <string_view>

#include "catalog/store/connection.h"

namespace corvane::tool::catalog {

// Whether a catalog argument names a PostgreSQL database rather than a file: a libpq URI
// (postgresql://… or postgres://…) or a service of pg_service.conf (service=…).
bool isPostgresName(std::string_view name);

// The connection string as messages show it: any password it holds left out.
std::string shownPostgresName(std::string_view conninfo);

// A connection to a PostgreSQL database through libpq, whose usual places (PGPASSFILE, .pgpass,
// the service file, the PG* environment) supply what the string leaves out. Rows are read one at
// a time as the server sends them, never a whole result at once.
Result<Database> openPostgres(const std::string& conninfo);

}  // namespace corvane::tool::catalog
