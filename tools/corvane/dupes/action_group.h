#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_status.h"

namespace corvane::tool {

// What a duplicate is to have done to it.
enum class DupesAction { kReflink, kLink, kRemove };

// A file of a group, as the scan or the report saw it: right before anything is done to it, it
// must be found again as this file (device and inode) with this size and modification time.
struct SeenMember {
  std::string name;  // a path, or an asset identifier relative to the library's folder
  platform::FileStatus seen;
};

// Files said to hold the same bytes, in walk (or report) order.
struct ActionGroup {
  std::uint64_t size = 0;
  std::vector<SeenMember> members;
  bool probable = false;  // matched on a sampled fingerprint only: nothing is done to it
};

}  // namespace corvane::tool
