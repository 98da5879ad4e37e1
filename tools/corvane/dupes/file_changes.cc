#include "dupes/file_changes.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace corvane::tool {
namespace {

using platform::FileStatus;
using platform::Unexpected;

// The kernel takes at most this much in one call on some file systems (btrfs: 16 MiB).
constexpr std::uint64_t kShareStep = 16 << 20;
// Files of more extents than this are not looked at for sharing.
constexpr std::size_t kMostExtents = 4096;

std::string said(int code) { return std::strerror(code); }

bool sameFile(const struct stat& s, const FileStatus& seen) {
  return s.st_dev == seen.device && s.st_ino == seen.inode;
}

// A name of our own beside the duplicate, unlikely to be taken; taken ones are tried again.
std::string temporaryName() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".corvane-";
  for (int i = 0; i < 12; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
  return name;
}

int statAt(int folder, const std::string& name, struct stat& s) {
  return ::fstatat(folder, name.c_str(), &s, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int renameExchange(int folder, const std::string& from, const std::string& to) {
  return ::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_EXCHANGE) == 0 ? 0 : errno;
}

int renameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  return ::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}

struct Extent {
  std::uint64_t logical, physical, length;
};

// The file's extents as FIEMAP lists them, flushed first; empty when it cannot tell.
std::vector<Extent> extentsOf(int fd) {
  const std::size_t bytes = sizeof(struct fiemap) + kMostExtents * sizeof(struct fiemap_extent);
  std::vector<std::uint64_t> storage((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  auto* map = reinterpret_cast<struct fiemap*>(storage.data());
  map->fm_start = 0;
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kMostExtents;
  if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) return {};
  std::vector<Extent> extents;
  bool last = false;
  for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
    const auto& e = map->fm_extents[i];
    last = last || (e.fe_flags & FIEMAP_EXTENT_LAST) != 0;
    // Extents whose place on the disk is not known, or not the file's alone to name, tell nothing.
    if ((e.fe_flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED |
                       FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_DATA_TAIL | FIEMAP_EXTENT_UNWRITTEN)) != 0) {
      continue;
    }
    extents.push_back({e.fe_logical, e.fe_physical, e.fe_length});
  }
  if (!last && map->fm_mapped_extents == kMostExtents) return {};  // more than were listed
  return extents;
}

}  // namespace

Change replaceWithLink(HeldName kept, const FileStatus& keptSeen, HeldName duplicate, const FileStatus& seen,
                       const LastCheck& lastCheck) {
  const std::string keptName(kept.name), duplicateName(duplicate.name);
  std::string temporary;
  for (int attempt = 0;; ++attempt) {
    temporary = temporaryName();
    if (::linkat(kept.folder, keptName.c_str(), duplicate.folder, temporary.c_str(), 0) == 0) break;
    if (errno == EEXIST && attempt < 16) continue;
    if (errno == EXDEV) return Unexpected(std::string("a hard link cannot cross file systems"));
    return Unexpected("cannot make a link beside it: " + said(errno));
  }
  const auto drop = [&] { ::unlinkat(duplicate.folder, temporary.c_str(), 0); };
  // The link must be the kept file: its name may have been given to another meanwhile.
  struct stat linked {};
  if (const int error = statAt(duplicate.folder, temporary, linked); error != 0) {
    drop();
    return Unexpected("cannot look at the link made beside it: " + said(error));
  }
  if (!sameFile(linked, keptSeen)) {
    drop();
    return Unexpected(std::string("the kept file's name now leads to another file"));
  }
  // Swapped in one step: the duplicate's name is never missing, and what it named is then looked
  // at under the temporary name before it goes.
  if (const int error = renameExchange(duplicate.folder, temporary, duplicateName); error != 0) {
    drop();
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
      return Unexpected(std::string("the file system cannot swap two names in one step"));
    }
    return Unexpected("cannot put the link in its place: " + said(error));
  }
  struct stat old {};
  const int error = statAt(duplicate.folder, temporary, old);
  if (error != 0 || !sameFile(old, seen)) {
    // Another file had taken the duplicate's name: give it its name back.
    if (renameExchange(duplicate.folder, temporary, duplicateName) == 0) drop();
    return Unexpected(error != 0 ? "cannot look at what it named: " + said(error)
                                 : std::string("its name was given to another file meanwhile"));
  }
  if (auto why = lastCheck()) {
    if (renameExchange(duplicate.folder, temporary, duplicateName) == 0) {
      drop();
      return Unexpected(std::move(*why));
    }
    return Unexpected(*why + "; the file stays under the name " + temporary);
  }
  if (::unlinkat(duplicate.folder, temporary.c_str(), 0) != 0) {
    return Unexpected("linked, but its old file stays under the name " + temporary + ": " + said(errno));
  }
  return {};
}

Change removeName(HeldName duplicate, const FileStatus& seen, const LastCheck& lastCheck) {
  const std::string duplicateName(duplicate.name);
  std::string temporary;
  for (int attempt = 0;; ++attempt) {
    temporary = temporaryName();
    const int error = renameNoReplace(duplicate.folder, duplicateName, duplicate.folder, temporary);
    if (error == 0) break;
    if (error == EEXIST && attempt < 16) continue;
    return Unexpected("cannot remove it: " + said(error));
  }
  struct stat moved {};
  const int error = statAt(duplicate.folder, temporary, moved);
  if (error != 0 || !sameFile(moved, seen)) {
    if (renameNoReplace(duplicate.folder, temporary, duplicate.folder, duplicateName) != 0) {
      return Unexpected("another file had taken its name; it stays under the name " + temporary);
    }
    return Unexpected(error != 0 ? "cannot look at it: " + said(error)
                                 : std::string("its name was given to another file meanwhile"));
  }
  if (auto why = lastCheck()) {
    if (renameNoReplace(duplicate.folder, temporary, duplicate.folder, duplicateName) != 0) {
      return Unexpected(*why + "; the file stays under the name " + temporary);
    }
    return Unexpected(std::move(*why));
  }
  if (::unlinkat(duplicate.folder, temporary.c_str(), 0) != 0) {
    const int why = errno;
    renameNoReplace(duplicate.folder, temporary, duplicate.folder, duplicateName);
    return Unexpected("cannot remove it: " + said(why));
  }
  return {};
}

platform::Expected<std::uint64_t, std::string> shareExtents(int keptFd, int duplicateFd, std::uint64_t size) {
  // One range with one destination, in storage aligned for the kernel's structure.
  constexpr std::size_t kBytes = sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info);
  alignas(file_dedupe_range) std::array<unsigned char, kBytes> storage{};
  auto* range = reinterpret_cast<file_dedupe_range*>(storage.data());
  auto* info = reinterpret_cast<file_dedupe_range_info*>(storage.data() + sizeof(file_dedupe_range));
  std::uint64_t shared = 0;
  for (std::uint64_t offset = 0; offset < size;) {
    storage.fill(0);
    range->src_offset = offset;
    range->src_length = std::min(kShareStep, size - offset);
    range->dest_count = 1;
    info->dest_fd = duplicateFd;
    info->dest_offset = offset;
    if (::ioctl(keptFd, FIDEDUPERANGE, range) != 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (error == EOPNOTSUPP || error == ENOTTY || error == EINVAL) {
        return Unexpected(std::string("the file system cannot share extents (reflink): ") + said(error));
      }
      return Unexpected("the kernel refused to share its extents: " + said(error));
    }
    if (info->status == FILE_DEDUPE_RANGE_DIFFERS) {
      return Unexpected(std::string("its content differs from the kept file's (the kernel compared them)"));
    }
    if (info->status < 0) {
      const int error = -info->status;
      if (error == EOPNOTSUPP || error == EINVAL) {
        return Unexpected(std::string("the file system cannot share extents (reflink): ") + said(error));
      }
      return Unexpected("the kernel refused to share its extents: " + said(error));
    }
    if (info->bytes_deduped == 0) return Unexpected(std::string("the kernel shared nothing of it"));
    shared += info->bytes_deduped;
    offset += info->bytes_deduped;
  }
  return shared;
}

std::uint64_t bytesAlreadyShared(int keptFd, int duplicateFd) {
  const auto kept = extentsOf(keptFd), duplicate = extentsOf(duplicateFd);
  std::uint64_t shared = 0;
  for (const auto& d : duplicate) {
    for (const auto& k : kept) {
      // The same offset in both files on the same place of the disk, over the overlap.
      const auto start = std::max(d.logical, k.logical);
      const auto end = std::min(d.logical + d.length, k.logical + k.length);
      if (start >= end) continue;
      if (d.physical + (start - d.logical) == k.physical + (start - k.logical)) shared += end - start;
    }
  }
  return shared;
}

}  // namespace corvane::tool
