#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/error.h"
#include "dupes/action_group.h"
#include "platform/file_system.h"

namespace corvane::tool {

// Which file of a group is kept.
enum class KeepRule {
  kFirst,     // the first in walk (or report) order
  kOldest,    // the earliest modification time
  kNewest,    // the latest modification time
  kShortest,  // the shortest name, in bytes
};
std::optional<KeepRule> keepRuleNamed(std::string_view word);

// Folders whose files are never changed (--keep-in), by their absolute paths with every link
// resolved, so that any name of a file below one is known as below it.
class KeepInFolders {
 public:
  // `base`: where names are relative to (a library's folder), else the working folder.
  static Result<KeepInFolders> resolve(std::shared_ptr<platform::FileSystem> fileSystem,
                                       const std::vector<std::string>& folders, std::string base = {});
  bool empty() const { return folders_.empty(); }
  // Whether a member's file lies below one of the folders; a name whose folder cannot be resolved
  // counts as below one, so that it is never changed.
  bool holds(std::string_view name) const;

 private:
  std::shared_ptr<platform::FileSystem> files_;
  std::vector<std::string> folders_;
  std::string base_;
};

struct KeepChoice {
  std::size_t kept = 0;
  std::vector<bool> untouchable;  // members below a --keep-in folder (the kept one included)
};

// The member to keep: by `rule` among those below a --keep-in folder if there are any, else
// among all; ties go to the earlier in order.
KeepChoice chooseKept(const ActionGroup& group, KeepRule rule, const KeepInFolders& keepIn);

}  // namespace corvane::tool
