#pragma once

#include <string>
#include <string_view>

#include "catalog/store/connection.h"

namespace corvane::tool::catalog {

// A connection to a PostgreSQL database through libpq, whose usual places (PGPASSFILE, .pgpass,
// the service file, the PG* environment) supply what the string leaves out. Rows are read one at
// a time as the server sends them, never a whole result at once.
Result<Database> openPostgres(const std::string& conninfo);

}  // namespace corvane::tool::catalog
