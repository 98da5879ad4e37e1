#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/context.h"
#include "dupes/action_group.h"
#include "dupes/dupes_command.h"
#include "inputs/photo_folder.h"

namespace corvane::tool {

// What is wrong with the options of acting on duplicates (--act, --from, --keep, --keep-in,
// --dry-run), if anything.
std::optional<std::string> actingMisuse(const DupesOptions& options);

// Does --act to the groups a scan found: of paths, or of the assets of `library`.
int actOnGroups(const Context& context, const DupesOptions& options, const std::vector<ActionGroup>& groups,
                const PhotoFolder* library);

// Reads the report of --from and does --act to its groups; a report that cannot be read whole
// changes nothing.
int actOnSavedReport(const Context& context, const DupesOptions& options);

}  // namespace corvane::tool
