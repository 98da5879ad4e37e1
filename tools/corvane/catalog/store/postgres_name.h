#pragma once

#include <string>
#include <string_view>

namespace corvane::tool::catalog {

// Whether a catalog argument names a PostgreSQL database rather than a file: a libpq URI
// (postgresql://… or postgres://…) or a service of pg_service.conf (service=…).
bool isPostgresName(std::string_view name);

// The connection string as messages show it, with no password in any form it may take: what
// libpq reads as one, percent-encoded or quoted, and the credentials of a URI that libpq cannot
// read. A string that keeps one in a way not foreseen is shown as its scheme alone.
std::string shownPostgresName(std::string_view conninfo);

// A message of libpq about this connection string, with whatever it quotes of a password left out.
std::string withoutPassword(std::string message, std::string_view conninfo);

}  // namespace corvane::tool::catalog
