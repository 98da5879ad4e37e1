#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/beneath_resolution.h"
#include "platform/file_system.h"
#include "platform/system_status.h"
#include "platform/unique_fd.h"

namespace corvane::platform {
namespace {

constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;  // a FIFO opens without a writer
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The path as a C string, or none when it holds a NUL byte (it would name another file).
std::optional<std::string> cPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  return std::string(path);
}

FileResult<FileStatus> statusOfDescriptor(int fd, std::string_view path) {
  struct stat s {};
  if (::fstat(fd, &s) != 0) return Unexpected(FileError::system("status", path, errno));
  return statusFromStat(s);
}

int baseDescriptor(const Directory* base) { return base ? base->descriptor() : AT_FDCWD; }

// Opens `path` below `dirfd` with the kernel keeping every step of the resolution beneath it.
int openBeneath(int dirfd, const char* path, int flags, bool noLinks = false) {
  struct open_how how {};
  how.flags = static_cast<std::uint64_t>(flags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | (noLinks ? RESOLVE_NO_SYMLINKS : 0);
  return static_cast<int>(::syscall(SYS_openat2, dirfd, path, &how, sizeof how));
}

// Opens with the resolution `how` asks for; the descriptor, or -1 with errno set.
int openWith(const Directory* base, std::string_view path, int flags, Resolve how) {
  const auto c = cPath(path);
  if (!c) {
    errno = ENOENT;
    return -1;
  }
  // openat2 asks to try again when a rename elsewhere raced with the resolution; a bounded
  // number of tries keeps a hostile renamer from holding a call for ever.
  for (int attempt = 0;; ++attempt) {
    int fd = -1;
    switch (how) {
      case Resolve::kFollow: fd = ::openat(baseDescriptor(base), c->c_str(), flags); break;
      case Resolve::kNoFollow: fd = ::openat(baseDescriptor(base), c->c_str(), flags | O_NOFOLLOW); break;
      case Resolve::kBeneath:
        fd = openBeneath(baseDescriptor(base), c->c_str(), flags);
        // Refused for leading out, or for passing an absolute link: the slow way follows the
        // absolute links that lead back inside, and refuses the rest.
        if (fd < 0 && errno == EXDEV) fd = openBeneathByHand(baseDescriptor(base), *c, flags);
        break;
      case Resolve::kBeneathNoLinks: fd = openBeneath(baseDescriptor(base), c->c_str(), flags, true); break;
    }
    if (fd >= 0 || !(errno == EINTR || (errno == EAGAIN && attempt < 64))) return fd;
  }
}

class PosixFile final : public File {
 public:
  // `blockDevice`: its size is the device's, which its status does not tell, asked each time.
  PosixFile(UniqueFd fd, std::string path, bool blockDevice = false, std::shared_ptr<DescriptorCloser> closer = nullptr)
      : fd_(std::move(fd)), path_(std::move(path)), blockDevice_(blockDevice), closer_(std::move(closer)) {}
  ~PosixFile() override {
    if (closer_ != nullptr) closer_->close(std::move(fd_));
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  FileResult<FileStatus> status() const override {
    auto status = statusOfDescriptor(fd_.get(), path_);
    if (status && blockDevice_ && ::ioctl(fd_.get(), BLKGETSIZE64, &status->size) != 0) {
      return Unexpected(FileError::system("status", path_, errno));
    }
    return status;
  }

  FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
      return Unexpected(FileError::system("read", path_, EINVAL));
    }
    for (;;) {
      const ssize_t n = ::pread(fd_.get(), buffer.data(), buffer.size(), static_cast<off_t>(offset));
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return Unexpected(FileError::system("read", path_, errno));
    }
  }

  void adviseSequential() const override { ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL); }

 private:
  UniqueFd fd_;
  std::string path_;
  bool blockDevice_;
  std::shared_ptr<DescriptorCloser> closer_;  // the file system's, kept by every file it opened
};

// Whether the listings of the folder's file system give each entry the inode number a status of
// it gives. Not so everywhere: an overlay lists a lower layer's numbers, and network file
// systems may list the server's; where it is not known, nothing is taken from a listing.
bool listsTrueInodes(int folder) {
  struct statfs fs {};
  if (::fstatfs(folder, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
    case 0x01021994:  // tmpfs
      return true;
    default: return false;
  }
}

class PosixDirectory final : public Directory {
 public:
  PosixDirectory(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  FileResult<FileStatus> status() const override { return statusOfDescriptor(fd_.get(), path_); }
  int descriptor() const override { return fd_.get(); }

  FileResult<std::vector<DirectoryEntry>> entries() const override {
    // A listing moves the descriptor's position, which its duplicates share: one at a time. A
    // duplicate, not a new open of ".", which a folder that may be read but not searched refuses.
    const std::lock_guard lock(listing_);
    const UniqueFd listing(::dup(fd_.get()));
    if (!listing || ::lseek(listing.get(), 0, SEEK_SET) != 0)
      return Unexpected(FileError::system("list", path_, errno));
    const bool trueInodes = listsTrueInodes(listing.get());
    std::vector<DirectoryEntry> entries;
    alignas(struct dirent64) std::array<std::byte, 32768> buffer;
    for (;;) {
      const ssize_t n = ::getdents64(listing.get(), buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Unexpected(FileError::system("list", path_, errno));
      if (n == 0) return entries;
      for (ssize_t at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
        at += entry->d_reclen;
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        FileType type = FileType::kUnknown;
        std::uint64_t inode = trueInodes ? entry->d_ino : 0;
        switch (entry->d_type) {
          case DT_REG: type = FileType::kRegular; break;
          case DT_DIR: type = FileType::kDirectory; break;
          case DT_LNK: type = FileType::kSymbolicLink; break;
          case DT_UNKNOWN: {
            // Some file systems do not say in the listing; ask for this entry alone.
            struct stat s {};
            if (::fstatat(listing.get(), entry->d_name, &s, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone since
            type = fileTypeOfMode(s.st_mode);
            inode = s.st_ino;
            break;
          }
          case DT_FIFO: type = FileType::kFifo; break;
          case DT_SOCK: type = FileType::kSocket; break;
          case DT_CHR:
          case DT_BLK: type = FileType::kDevice; break;
          default: type = FileType::kUnknown; break;
        }
        entries.push_back({std::string(name), type, inode});
      }
    }
  }

 private:
  UniqueFd fd_;
  std::string path_;
  mutable std::mutex listing_;
};

class PosixStream final : public Stream {
 public:
  PosixStream(UniqueFd owned, int fd, std::string path) : owned_(std::move(owned)), fd_(fd), path_(std::move(path)) {}

  FileResult<std::size_t> read(std::span<std::uint8_t> buffer) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return Unexpected(FileError::system("read", path_, errno));
    }
  }

  // A megabyte, the most an unprivileged process may ask for by default; refused on anything but
  // a pipe, and then harmless.
  void widen() override { ::fcntl(fd_, F_SETPIPE_SZ, 1 << 20); }

 private:
  UniqueFd owned_;  // none for standard input, which the process keeps
  int fd_;
  std::string path_;
};

class PosixSpooledFile final : public SpooledFile {
 public:
  PosixSpooledFile(UniqueFd fd, std::uint64_t size)
      : fd_(std::move(fd)), path_("/proc/self/fd/" + std::to_string(fd_.get())), size_(size) {}
  const std::string& path() const override { return path_; }
  std::uint64_t size() const override { return size_; }

 private:
  UniqueFd fd_;
  std::string path_;
  std::uint64_t size_;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size != 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A file in `folder` that no name leads to: O_TMPFILE, or where the file system lacks it, a
// file made and unlinked at once.
FileResult<UniqueFd> anonymousFileIn(const std::string& folder) {
  UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd) return fd;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return Unexpected(FileError::system("create", folder, errno));
  }
  std::string name = folder + "/corvane-stream-XXXXXX";
  fd = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd) return Unexpected(FileError::system("create", folder, errno));
  ::unlink(name.c_str());
  return fd;
}

// Moves the first `size` bytes of `from` into `to`.
bool copyInto(int from, int to, std::uint64_t size, std::vector<std::uint8_t>& buffer) {
  for (std::uint64_t at = 0; at < size;) {
    const ssize_t n = ::pread(from, buffer.data(), buffer.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (!writeAll(to, buffer.data(), static_cast<std::size_t>(n))) return false;
    at += static_cast<std::uint64_t>(n);
  }
  return true;
}

class PosixPinnedFile final : public PinnedFile {
 public:
  explicit PosixPinnedFile(UniqueFd fd) : fd_(std::move(fd)), path_("/proc/self/fd/" + std::to_string(fd_.get())) {}
  const std::string& path() const override { return path_; }

 private:
  UniqueFd fd_;
  std::string path_;
};

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(std::shared_ptr<DescriptorCloser> closer = nullptr) : closer_(std::move(closer)) {}

  FileResult<std::unique_ptr<File>> openFile(const Directory* base, std::string_view path, Resolve how) override {
    UniqueFd fd(openWith(base, path, kReadFlags, how));
    if (!fd) return Unexpected(FileError::system("open", path, errno));
    return std::unique_ptr<File>(std::make_unique<PosixFile>(std::move(fd), std::string(path), false, closer_));
  }

  FileResult<std::unique_ptr<Directory>> openDirectory(const Directory* base, std::string_view path,
                                                       Resolve how) override {
    UniqueFd fd(openWith(base, path, kDirectoryFlags, how));
    if (!fd) return Unexpected(FileError::system("open", path, errno));
    return std::unique_ptr<Directory>(std::make_unique<PosixDirectory>(std::move(fd), std::string(path)));
  }

  FileResult<std::unique_ptr<PinnedFile>> pin(const Directory* base, std::string_view path, Resolve how) override {
    UniqueFd fd(openWith(base, path, O_PATH | O_CLOEXEC, how));
    if (!fd) return Unexpected(FileError::system("open", path, errno));
    return std::unique_ptr<PinnedFile>(std::make_unique<PosixPinnedFile>(std::move(fd)));
  }

  FileResult<FileStatus> statusOf(const Directory* base, std::string_view path, Resolve how) override {
    if (how == Resolve::kBeneath || how == Resolve::kBeneathNoLinks) {
      // Only openat2 resolves beneath a folder; a path descriptor reads nothing and opens anything.
      const UniqueFd fd(openWith(base, path, O_PATH | O_CLOEXEC, how));
      if (!fd) return Unexpected(FileError::system("status", path, errno));
      return statusOfDescriptor(fd.get(), path);
    }
    const auto c = cPath(path);
    struct stat s {};
    if (!c) return Unexpected(FileError::system("status", path, ENOENT));
    if (::fstatat(baseDescriptor(base), c->c_str(), &s, how == Resolve::kNoFollow ? AT_SYMLINK_NOFOLLOW : 0) != 0) {
      return Unexpected(FileError::system("status", path, errno));
    }
    return statusFromStat(s);
  }

  FileResult<std::unique_ptr<Stream>> openStream(std::string_view path) override {
    // Blocking, as any reader of a FIFO is: it waits for its writer.
    UniqueFd fd(openWith(nullptr, path, O_RDONLY | O_CLOEXEC | O_NOCTTY, Resolve::kFollow));
    if (!fd) return Unexpected(FileError::system("open", path, errno));
    const int raw = fd.get();
    return std::unique_ptr<Stream>(std::make_unique<PosixStream>(std::move(fd), raw, std::string(path)));
  }

  std::unique_ptr<Stream> standardInput() override {
    return std::make_unique<PosixStream>(UniqueFd(), STDIN_FILENO, "standard input");
  }

  FileResult<std::unique_ptr<SpooledFile>> spool(Stream& stream, const SpoolPlace& place) override {
    UniqueFd fd(::memfd_create("corvane-stream", MFD_CLOEXEC));
    if (!fd) return Unexpected(FileError::system("create", "a file in memory", errno));
    std::string where = "a file in memory";
    bool inMemory = true;
    stream.widen();
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t size = 0;
    for (;;) {
      const auto count = stream.read(buffer);
      if (!count) return Unexpected(count.error());
      if (*count == 0) break;
      if (inMemory && size + *count > place.memoryLimit) {
        // Past the bound, the bytes so far move to disk and memory is given back.
        auto onDisk = anonymousFileIn(place.folder);
        if (!onDisk) return Unexpected(onDisk.error());
        where = place.folder;
        std::vector<std::uint8_t> moving(1 << 20);
        if (!copyInto(fd.get(), onDisk->get(), size, moving)) {
          return Unexpected(FileError::system("write", where, errno != 0 ? errno : ENOSPC));
        }
        fd = std::move(*onDisk);
        inMemory = false;
      }
      if (!writeAll(fd.get(), buffer.data(), *count)) {
        return Unexpected(FileError::system("write", where, errno != 0 ? errno : ENOSPC));
      }
      size += *count;
    }
    return std::unique_ptr<SpooledFile>(std::make_unique<PosixSpooledFile>(std::move(fd), size));
  }

  FileResult<std::unique_ptr<File>> openBlockDevice(std::string_view path) override {
    // Opened without waiting, so that a FIFO named here cannot hold the call; a block device
    // reads the same either way.
    UniqueFd fd(openWith(nullptr, path, kReadFlags, Resolve::kFollow));
    if (!fd) return Unexpected(FileError::system("open", path, errno));
    struct stat s {};
    if (::fstat(fd.get(), &s) != 0) return Unexpected(FileError::system("status", path, errno));
    if (!S_ISBLK(s.st_mode)) return Unexpected(FileError::system("open", path, ENOTBLK));
    return std::unique_ptr<File>(std::make_unique<PosixFile>(std::move(fd), std::string(path), true));
  }

  FileResult<std::string> canonicalPath(std::string_view path) override {
    const auto c = cPath(path);
    if (!c) return Unexpected(FileError::system("resolve", path, ENOENT));
    const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(c->c_str(), nullptr), &::free);
    if (!resolved) return Unexpected(FileError::system("resolve", path, errno));
    return std::string(resolved.get());
  }

 private:
  const std::shared_ptr<DescriptorCloser> closer_;  // none: each file closes its own at once
};

}  // namespace

FileResult<std::size_t> readFully(const File& file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const auto n = file.readSome(offset + done, buffer.subspan(done));
    if (!n) return n;
    if (*n == 0) break;
    done += *n;
  }
  return done;
}

FileResult<std::string> readSmallFile(FileSystem& fileSystem, std::string_view path, std::size_t limit) {
  const auto file = fileSystem.openFile(nullptr, path, Resolve::kFollow);
  if (!file) return Unexpected(file.error());
  const auto status = (*file)->status();
  if (!status) return Unexpected(status.error());
  if (status->type != FileType::kRegular)
    return Unexpected(FileError::of(FileError::Reason::kNotRegular, "open", path));
  std::string content(limit, '\0');
  const auto count = readFully(**file, 0, {reinterpret_cast<std::uint8_t*>(content.data()), content.size()});
  if (!count) return Unexpected(count.error());
  content.resize(*count);
  return content;
}

std::shared_ptr<FileSystem> posixFileSystem() {
  static const auto fileSystem = std::make_shared<PosixFileSystem>();
  return fileSystem;
}

std::shared_ptr<FileSystem> posixFileSystem(std::shared_ptr<DescriptorCloser> closer) {
  return std::make_shared<PosixFileSystem>(std::move(closer));
}

}  // namespace corvane::platform
