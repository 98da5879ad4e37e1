#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/error.h"
#include "dupes/action_group.h"

namespace corvane::tool {

// A report that `dupes --json` wrote, read back to act on.
struct SavedReport {
  std::vector<ActionGroup> groups;  // in the report's order; lists of names of one file left out
  bool assets = false;              // names are a library's asset identifiers, not paths
};

// Reads a report: one JSON object a line, each with its names ("paths" or "assets", exactly in
// their "_base64" form when there is one) and, in "files", the device, inode, size and
// modification time of each as the scan saw them. Anything else is an error naming its line,
// and then no group at all is given back.
Result<SavedReport> parseSavedReport(std::string_view text);

}  // namespace corvane::tool
