#pragma once

#include "cli/context.h"
#include "dupes/dupes_command.h"

namespace corvane::tool {

// `dupes --catalog`: the groups of identical contents that a catalog holds across its roots and
// machines, answered by the database alone, no file read; confirmed by SHA-256 only (with
// --probable, fingerprint matches too, marked so). The catalog is only read.
int dupesOfCatalog(const Context& context, const DupesOptions& options);

}  // namespace corvane::tool
