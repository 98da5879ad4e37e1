#pragma once

#include <string>
#include <vector>

#include "cli/cli_forward.h"
#include "cli/error.h"
#include "inputs/exclusions.h"
#include "platform/file_system.h"

namespace corvane::tool {

// What the command line says of the parts of a tree a walk leaves out.
struct WalkRuleOptions {
  std::vector<std::string> exclude;      // --exclude, in the order given
  std::vector<std::string> excludeFrom;  // --exclude-from lists
  bool oneFileSystem = false;            // -x

  bool given() const { return !exclude.empty() || !excludeFrom.empty() || oneFileSystem; }
};

// --exclude, --exclude-from and -x/--one-file-system, for every command that walks folders.
void addWalkOptions(CLI::App& command, WalkRuleOptions& options);

// The patterns of --exclude, then those of each --exclude-from list in turn; or why one of them
// is none, or a list cannot be read (a usage error).
Result<Exclusions> exclusionsOf(platform::FileSystem& fileSystem, const WalkRuleOptions& options);

// The rules as --help tells them, for each command's footer.
extern const char* const kExclusionRules;

}  // namespace corvane::tool
