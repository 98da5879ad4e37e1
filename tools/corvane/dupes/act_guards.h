#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane::tool {

// Checks made of two open files right before a duplicate is changed, each the reason to leave it
// as it is, or none.

// The kept file lies on a file system whose files may be other files seen again (an overlay's
// merged view shows its layers' files, a network or FUSE mount may serve this very disk): a
// duplicate on another file system may then be the kept file's own data.
std::optional<std::string> keptMayBeThisFile(int keptFd);

// Another process has the duplicate open for writing: what it writes after the change would go to
// a file no name leads to. Found with a read lease, taken and given back at once; a file system
// or a caller that cannot take one tells nothing.
std::optional<std::string> openForWriting(int duplicateFd);

// A hard link would give the duplicate's name the kept file's owner, group and permissions.
std::optional<std::string> ownershipDiffers(int keptFd, int duplicateFd);

// The bytes the file holds on the disk: a sparse file's holes take none.
std::uint64_t allocatedBytes(int fd);

}  // namespace corvane::tool
