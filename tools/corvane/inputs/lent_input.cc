#include "inputs/lent_input.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <set>

namespace corvane::tool {

class StreamTurns {
 public:
  std::uint64_t take() {
    const std::lock_guard lock(mutex_);
    return issued_++;
  }
  void await(std::uint64_t turn) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return next_ == turn; });
  }
  // Also for a turn never begun: its stream went unread.
  void end(std::uint64_t turn) {
    {
      const std::lock_guard lock(mutex_);
      ended_.insert(turn);
      while (ended_.erase(next_) != 0) ++next_;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t issued_ = 0;
  std::uint64_t next_ = 0;
  std::set<std::uint64_t> ended_;
};

std::shared_ptr<StreamTurns> streamTurns() { return std::make_shared<StreamTurns>(); }

namespace {

using platform::FileError;
using platform::FileResult;
using platform::FileStatus;
using platform::Unexpected;

class StreamFile final : public platform::File {
 public:
  StreamFile(std::unique_ptr<platform::Stream> stream, std::string path, std::shared_ptr<StreamTurns> turns)
      : stream_(std::move(stream)), path_(std::move(path)), turns_(std::move(turns)), turn_(turns_->take()) {}
  ~StreamFile() override { endTurn(); }
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  FileResult<FileStatus> status() const override {
    // Never changing, and stamped long ago, so it is read once and taken for what it holds.
    FileStatus status;
    status.type = platform::FileType::kRegular;
    status.links = 1;
    return status;
  }

  FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override {
    const std::lock_guard lock(mutex_);
    if (offset != read_) return Unexpected(FileError::system("read", path_, ESPIPE));
    if (ended_) return std::size_t{0};
    if (!begun_) {
      turns_->await(turn_);
      begun_ = true;
      stream_->widen();
    }
    const auto count = stream_->read(buffer);
    if (!count || *count == 0) endTurn();
    if (!count) return Unexpected(count.error());
    read_ += *count;
    return *count;
  }

  void adviseSequential() const override {}

  std::uint64_t bytesRead() const {
    const std::lock_guard lock(mutex_);
    return read_;
  }

 private:
  void endTurn() const {
    if (ended_) return;
    ended_ = true;
    turns_->end(turn_);
  }

  const std::unique_ptr<platform::Stream> stream_;
  const std::string path_;
  const std::shared_ptr<StreamTurns> turns_;
  const std::uint64_t turn_;
  mutable std::mutex mutex_;
  mutable bool begun_ = false;
  mutable bool ended_ = false;
  mutable std::uint64_t read_ = 0;
};

class DeviceFile final : public platform::File {
 public:
  DeviceFile(std::unique_ptr<platform::File> device, std::string path, std::uint64_t size)
      : device_(std::move(device)), path_(std::move(path)), size_(size) {}

  FileResult<FileStatus> status() const override {
    auto status = device_->status();
    if (status) status->type = platform::FileType::kRegular;
    return status;
  }

  FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override {
    auto count = device_->readSome(offset, buffer);
    // A device that ends before its size lost its medium, or shrank: what it gave is not it.
    if (count && *count == 0 && offset < size_) return Unexpected(FileError::system("read", path_, EIO));
    return count;
  }

  void adviseSequential() const override { device_->adviseSequential(); }

 private:
  const std::unique_ptr<platform::File> device_;
  const std::string path_;
  const std::uint64_t size_;
};

template <typename Lent>
class Held final : public LentInput {
 public:
  Held(std::unique_ptr<platform::PinnedFile> pin, std::unique_ptr<Lent> file)
      : pin_(std::move(pin)), file_(std::move(file)) {}
  const std::string& name() const override { return pin_->path(); }
  const platform::File& file() const override { return *file_; }
  std::uint64_t bytesRead() const override {
    if constexpr (std::is_same_v<Lent, StreamFile>) {
      return file_->bytesRead();
    } else {
      const auto status = file_->status();
      return status ? status->size : 0;
    }
  }

 private:
  const std::unique_ptr<platform::PinnedFile> pin_;
  const std::unique_ptr<Lent> file_;
};

}  // namespace

Result<std::shared_ptr<LentInput>> lendStream(platform::FileSystem& fileSystem, const std::string& path,
                                              std::unique_ptr<platform::Stream> stream,
                                              const std::shared_ptr<StreamTurns>& turns) {
  auto pin = fileSystem.pin(nullptr, path, platform::Resolve::kFollow);
  if (!pin) return failure(Error::ofFile(pin.error()));
  return std::shared_ptr<LentInput>(std::make_shared<Held<StreamFile>>(
      std::move(*pin), std::make_unique<StreamFile>(std::move(stream), path, turns)));
}

Result<std::shared_ptr<LentInput>> lendBlockDevice(platform::FileSystem& fileSystem, const std::string& path,
                                                   std::unique_ptr<platform::File> device) {
  const auto status = device->status();
  if (!status) return failure(Error::ofFile(status.error()));
  auto pin = fileSystem.pin(nullptr, path, platform::Resolve::kFollow);
  if (!pin) return failure(Error::ofFile(pin.error()));
  return std::shared_ptr<LentInput>(std::make_shared<Held<DeviceFile>>(
      std::move(*pin), std::make_unique<DeviceFile>(std::move(device), path, status->size)));
}

}  // namespace corvane::tool
