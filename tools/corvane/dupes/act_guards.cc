#include "dupes/act_guards.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>
#include <initializer_list>

namespace corvane::tool {

std::optional<std::string> keptMayBeThisFile(int keptFd) {
  struct statfs fs {};
  if (::fstatfs(keptFd, &fs) != 0) return "the kept file's file system cannot be told";
  // File systems that keep their own files on their own device: nothing on another device is
  // theirs. Any other (overlay, NFS, SMB, FUSE, 9p) may show files of another file system.
  constexpr unsigned long kF2fs = 0xF2F52010, kZfs = 0x2FC12FC1, kExfat = 0x2011BAB0, kNtfs3 = 0x7366746E;
  for (const unsigned long own :
       {static_cast<unsigned long>(EXT4_SUPER_MAGIC), static_cast<unsigned long>(XFS_SUPER_MAGIC),
        static_cast<unsigned long>(BTRFS_SUPER_MAGIC), static_cast<unsigned long>(TMPFS_MAGIC),
        static_cast<unsigned long>(MSDOS_SUPER_MAGIC), kF2fs, kZfs, kExfat, kNtfs3}) {
    if (static_cast<unsigned long>(fs.f_type) == own) return std::nullopt;
  }
  return "on another file system than the kept file, which lies on one (an overlay, a network or FUSE mount) "
         "that may show this very file: removing it could remove the kept file's data";
}

std::optional<std::string> openForWriting(int duplicateFd) {
  if (::fcntl(duplicateFd, F_SETLEASE, F_RDLCK) == 0) {
    ::fcntl(duplicateFd, F_SETLEASE, F_UNLCK);
    return std::nullopt;
  }
  if (errno == EAGAIN) return "another process has it open for writing";
  return std::nullopt;
}

std::optional<std::string> ownershipDiffers(int keptFd, int duplicateFd) {
  struct stat kept {
  }, duplicate{};
  if (::fstat(keptFd, &kept) != 0 || ::fstat(duplicateFd, &duplicate) != 0) return "its owner cannot be told";
  if (kept.st_uid != duplicate.st_uid || kept.st_gid != duplicate.st_gid ||
      (kept.st_mode & 07777) != (duplicate.st_mode & 07777)) {
    return "its owner, group or permissions differ from the kept file's, which a hard link would give it";
  }
  return std::nullopt;
}

std::uint64_t allocatedBytes(int fd) {
  struct stat s {};
  if (::fstat(fd, &s) != 0 || s.st_blocks < 0) return 0;
  return static_cast<std::uint64_t>(s.st_blocks) * 512;
}

}  // namespace corvane::tool
