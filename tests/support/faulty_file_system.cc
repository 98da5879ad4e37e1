#include "support/faulty_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>

namespace corvane::testing {
namespace {

using platform::FileError;
using platform::FileResult;
using platform::Unexpected;

class FaultyFile final : public platform::File {
 public:
  FaultyFile(std::unique_ptr<platform::File> real, std::string path, FaultPlan plan)
      : real_(std::move(real)), path_(std::move(path)), plan_(std::move(plan)) {}

  FileResult<platform::FileStatus> status() const override {
    auto status = real_->status();
    if (statusTaken_++ == 0 && status) changeTheFile(*status);
    if (status && plan_.statedSize >= 0) status->size = static_cast<std::uint64_t>(plan_.statedSize);
    return status;
  }

  FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override {
    if (plan_.failReadsFrom >= 0 && offset + buffer.size() > static_cast<std::uint64_t>(plan_.failReadsFrom)) {
      return Unexpected(FileError::system("read", path_, EIO));
    }
    if (plan_.shortReadLimit > 0) buffer = buffer.first(std::min(buffer.size(), plan_.shortReadLimit));
    auto count = real_->readSome(offset, buffer);
    if (count && *count > 0 && plan_.tornFirstRead && readsSeen_.insert(offset).second) buffer[0] ^= 0xff;
    return count;
  }

  void adviseSequential() const override { real_->adviseSequential(); }

 private:
  void changeTheFile(const platform::FileStatus& status) const {
    const auto size = status.size;
    // The change is made for real, so that the file's own status and reads show it.
    const off_t newSize = plan_.truncateTo >= 0 ? plan_.truncateTo : static_cast<off_t>(size + plan_.growBy);
    if ((plan_.truncateTo >= 0 || plan_.growBy > 0) && ::truncate(path_.c_str(), newSize) != 0) return;
    if (plan_.touchAfterStatus) {
      // A second earlier than it was: the system's own clock may not have moved on yet.
      const struct timespec times[2] = {{0, UTIME_OMIT}, {status.modifiedNs / 1'000'000'000 - 1, 0}};
      ::utimensat(AT_FDCWD, path_.c_str(), times, 0);
    }
  }

  std::unique_ptr<platform::File> real_;
  std::string path_;
  FaultPlan plan_;
  mutable int statusTaken_ = 0;
  mutable std::set<std::uint64_t> readsSeen_;
};

}  // namespace

void FaultyFileSystem::setPlan(FaultPlan plan) {
  std::lock_guard lock(mutex_);
  plan_ = std::move(plan);
}

FaultPlan FaultyFileSystem::plan() const {
  std::lock_guard lock(mutex_);
  return plan_;
}

FileResult<std::unique_ptr<platform::File>> FaultyFileSystem::openFile(const platform::Directory* base,
                                                                       std::string_view path, platform::Resolve how) {
  const auto current = plan();
  const bool faulty = !current.marker.empty() && path.find(current.marker) != std::string_view::npos;
  if (faulty && current.openError != 0) return Unexpected(FileError::system("open", path, current.openError));
  auto file = real_->openFile(base, path, how);
  if (file) record((*file)->status());
  if (!file || !faulty) return file;
  return std::unique_ptr<platform::File>(std::make_unique<FaultyFile>(std::move(*file), std::string(path), current));
}

FileResult<std::unique_ptr<platform::Directory>> FaultyFileSystem::openDirectory(const platform::Directory* base,
                                                                                 std::string_view path,
                                                                                 platform::Resolve how) {
  auto directory = real_->openDirectory(base, path, how);
  if (directory) record((*directory)->status());
  return directory;
}

FileResult<platform::FileStatus> FaultyFileSystem::statusOf(const platform::Directory* base, std::string_view path,
                                                            platform::Resolve how) {
  auto status = real_->statusOf(base, path, how);
  record(status);
  return status;
}

FileResult<std::unique_ptr<platform::PinnedFile>> FaultyFileSystem::pin(const platform::Directory* base,
                                                                        std::string_view path, platform::Resolve how) {
  auto pinned = real_->pin(base, path, how);
  if (pinned) record(real_->statusOf(nullptr, (*pinned)->path(), platform::Resolve::kFollow));
  return pinned;
}

void FaultyFileSystem::record(const FileResult<platform::FileStatus>& status) {
  if (!status) return;
  std::lock_guard lock(mutex_);
  reached_.emplace_back(status->device, status->inode);
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> FaultyFileSystem::reached() const {
  std::lock_guard lock(mutex_);
  return reached_;
}

FileResult<std::string> FaultyFileSystem::canonicalPath(std::string_view path) { return real_->canonicalPath(path); }

}  // namespace corvane::testing
