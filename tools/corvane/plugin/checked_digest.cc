#include "plugin/checked_digest.h"

#include <cerrno>
#include <climits>

namespace corvane::tool {
namespace {

constexpr const char* kMovedSinceWalk = "changed since the walk: its path leads to another file now";
constexpr const char* kChangedWhileRead = "changed while it was read";

// An identity from a listing can differ from the file's own where something is mounted on the
// name: the file is looked at now, from the walked folder, as a status at walk time would have
// looked at it (no link followed on the way unless the walk followed links).
bool stillNamedBy(platform::FileSystem& fileSystem, const SeenFile& seen, const platform::FileStatus& read) {
  if (!seen.walkRoot) return false;
  const auto now = fileSystem.statusOf(seen.walkRoot.get(), seen.belowRoot,
                                       seen.viaLinks ? platform::Resolve::kFollow : platform::Resolve::kBeneathNoLinks);
  return now && now->sameFileAs(read);
}

}  // namespace

Result<FileDigest> digestOfSeenFile(const PluginClient& client, platform::FileSystem& fileSystem, DigestKind kind,
                                    const SeenFile& seen, Match match) {
  if (seen.error) return failure(*seen.error);
  std::unique_ptr<platform::PinnedFile> pinned;
  if (seen.walkRoot && (seen.belowRootOnly || !seen.status || seen.path.size() >= PATH_MAX)) {
    auto pin = pinWalked(fileSystem, seen);
    if (!pin) {
      const int code = pin.error().code;
      if (code == ELOOP || code == EXDEV) return failure(kMovedSinceWalk, Error::Kind::kChanged);
      return failure(Error::ofFile(pin.error()));
    }
    pinned = std::move(*pin);
  }
  auto answer = client.digestOfFile(kind, pinned ? pinned->path() : seen.path);
  // One not looked at is whatever the path names; a pinned one is still held to the version seen.
  if (!answer || !seen.status) return answer;
  const auto& read = answer->status;
  if (!read) return failure(kMovedSinceWalk, Error::Kind::kChanged);
  if (!read->sameFileAs(*seen.status) && !(seen.identityOnly && stillNamedBy(fileSystem, seen, *read))) {
    return failure(kMovedSinceWalk, Error::Kind::kChanged);
  }
  // A version needs a whole status: walks that check versions look at every file.
  if (match == Match::kSameVersion && (seen.identityOnly || !read->sameVersionAs(*seen.status))) {
    return failure(kChangedWhileRead, Error::Kind::kChanged);
  }
  return answer;
}

}  // namespace corvane::tool
