#include "platform/system_status.h"

namespace corvane::platform {

FileType fileTypeOfMode(mode_t mode) {
  if (S_ISREG(mode)) return FileType::kRegular;
  if (S_ISDIR(mode)) return FileType::kDirectory;
  if (S_ISLNK(mode)) return FileType::kSymbolicLink;
  if (S_ISFIFO(mode)) return FileType::kFifo;
  if (S_ISSOCK(mode)) return FileType::kSocket;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return FileType::kDevice;
  return FileType::kUnknown;
}

FileStatus statusFromStat(const struct stat& s) {
  FileStatus status;
  status.type = fileTypeOfMode(s.st_mode);
  status.size = s.st_size < 0 ? 0 : static_cast<std::uint64_t>(s.st_size);
  status.device = s.st_dev;
  status.inode = s.st_ino;
  status.links = s.st_nlink;
  status.modifiedNs = std::int64_t{s.st_mtim.tv_sec} * 1'000'000'000 + s.st_mtim.tv_nsec;
  status.changedNs = std::int64_t{s.st_ctim.tv_sec} * 1'000'000'000 + s.st_ctim.tv_nsec;
  return status;
}

}  // namespace corvane::platform
