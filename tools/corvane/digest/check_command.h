#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/common_options.h"
#include "digest/digest_command.h"

namespace corvane::tool {

// `-c`: checks the digests the lists name (standard input when none), as sha256sum -c does:
// one "<name>: OK" or "<name>: FAILED" line per entry and, per list, the same warnings and
// the same exit status.
int checkLists(const Context& context, DigestKind kind, const DigestOptions& options,
               const std::optional<std::string>& library);

}  // namespace corvane::tool
