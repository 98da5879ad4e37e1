#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/expected.h"
#include "platform/file_status.h"

namespace corvane::tool {

// A name in a folder held open by its descriptor: every change is made relative to that folder,
// so a folder swapped for a link meanwhile cannot lead a change anywhere else.
struct HeldName {
  int folder;
  std::string_view name;
};

// Why a change was not made; nothing was changed then.
using Change = platform::Expected<void, std::string>;
// Asked last, before the old file's name goes for good: why not (then everything is undone).
using LastCheck = std::function<std::optional<std::string>()>;

// Replaces `duplicate`, which must still be the file `seen` (its device and inode), by a hard
// link to `kept`, which must still be the file `keptSeen`: a link under a temporary name in the
// duplicate's folder, checked, then swapped with the duplicate in one step and the old file's
// name removed. Any failure on the way leaves the duplicate as it was and no temporary name.
Change replaceWithLink(HeldName kept, const platform::FileStatus& keptSeen, HeldName duplicate,
                       const platform::FileStatus& seen, const LastCheck& lastCheck);

// Removes `duplicate` if it is still the file `seen`: moved to a temporary name first, looked at
// there, then removed; a name that turns out to be another file is put back.
Change removeName(HeldName duplicate, const platform::FileStatus& seen, const LastCheck& lastCheck);

// Asks the kernel to share the extents of `keptFd` with those of `duplicateFd` over their whole
// `size`, a range at a time: it compares the bytes itself and shares them only if equal. The
// bytes it shared, or why it shared none (or stopped: what it shared before then stays shared,
// and reads the same).
platform::Expected<std::uint64_t, std::string> shareExtents(int keptFd, int duplicateFd, std::uint64_t size);

// The bytes at which two files already use the same blocks of the disk at the same offsets, as
// the file systems' extent maps say (0 where they cannot tell).
std::uint64_t bytesAlreadyShared(int keptFd, int duplicateFd);

}  // namespace corvane::tool
