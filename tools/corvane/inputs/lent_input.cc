#include "inputs/lent_input.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <set>

#include "inputs/spool.h"

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

// One stream's place in the order of its listing, given up once, at the latest when it goes.
class Turn {
 public:
  explicit Turn(std::shared_ptr<StreamTurns> turns) : turns_(std::move(turns)), turn_(turns_->take()) {}
  ~Turn() { end(); }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;
  void await() const { turns_->await(turn_); }
  void end() {
    if (ended_) return;
    ended_ = true;
    turns_->end(turn_);
  }

 private:
  const std::shared_ptr<StreamTurns> turns_;
  const std::uint64_t turn_;
  bool ended_ = false;
};

// Standard input, by a name its calls can open.
constexpr const char* kStandardInput = "/proc/self/fd/0";

// The stream itself, opened when its turn comes: standard input, or its path held since open().
FileResult<std::unique_ptr<platform::Stream>> openTheStream(platform::FileSystem& files, bool standardInput,
                                                            const std::string& held) {
  if (standardInput) return files.standardInput();
  return files.openStream(held);
}

class LiveStream final : public LentInput, public platform::File {
 public:
  LiveStream(platform::FileSystem& files, std::optional<std::string> path, std::shared_ptr<StreamTurns> turns)
      : files_(files), path_(std::move(path)), turn_(std::move(turns)) {}

  Result<> open() override {
    auto pin = files_.pin(nullptr, path_.value_or(kStandardInput), platform::Resolve::kFollow);
    if (!pin) return failure(Error::ofFile(pin.error()));
    pin_ = std::move(*pin);
    return {};
  }
  const std::string& name() const override { return pin_->path(); }
  const platform::File& file() const override { return *this; }
  std::uint64_t bytesRead() const override {
    const std::lock_guard lock(mutex_);
    return read_;
  }

  FileResult<FileStatus> status() const override {
    // Never changing, and stamped long ago, so it is read once and taken for what it holds.
    FileStatus status;
    status.type = platform::FileType::kRegular;
    status.links = 1;
    return status;
  }

  FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override {
    const std::lock_guard lock(mutex_);
    if (offset != read_) return Unexpected(FileError::system("read", name(), ESPIPE));
    if (ended_) return std::size_t{0};
    if (!stream_) {
      turn_.await();
      auto opened = openTheStream(files_, !path_, name());
      if (!opened) return end(Unexpected(opened.error()));
      stream_ = std::move(*opened);
      stream_->widen();
    }
    auto count = stream_->read(buffer);
    if (!count || *count == 0) return end(std::move(count));
    read_ += *count;
    return count;
  }

  void adviseSequential() const override {}

 private:
  FileResult<std::size_t> end(FileResult<std::size_t> last) const {
    ended_ = true;
    stream_.reset();
    turn_.end();
    return last;
  }

  platform::FileSystem& files_;
  const std::optional<std::string> path_;
  std::unique_ptr<platform::PinnedFile> pin_;
  mutable std::mutex mutex_;
  mutable Turn turn_;
  mutable std::unique_ptr<platform::Stream> stream_;
  mutable bool ended_ = false;
  mutable std::uint64_t read_ = 0;
};

// A stream read whole into a spool when its turn comes; the copy is what is lent.
class SpooledStream final : public LentInput {
 public:
  SpooledStream(platform::FileSystem& files, std::optional<std::string> path, std::shared_ptr<StreamTurns> turns)
      : files_(files), path_(std::move(path)), turn_(std::move(turns)) {}

  Result<> open() override {
    // Held by its path before the wait, as named when listed.
    std::unique_ptr<platform::PinnedFile> held;
    if (path_) {
      auto pin = files_.pin(nullptr, *path_, platform::Resolve::kFollow);
      if (!pin) return failure(Error::ofFile(pin.error()));
      held = std::move(*pin);
    }
    turn_.await();
    auto stream = openTheStream(files_, !path_, held ? held->path() : std::string());
    if (!stream) return failure(Error::ofFile(stream.error()));
    auto spool = Spool::from(files_, **stream);
    turn_.end();
    if (!spool) return failure(spool.error());
    spool_ = std::make_unique<Spool>(std::move(*spool));
    auto copy = files_.openFile(nullptr, spool_->path(), platform::Resolve::kFollow);
    if (!copy) return failure(Error::ofFile(copy.error()));
    copy_ = std::move(*copy);
    return {};
  }
  const std::string& name() const override { return spool_->path(); }
  const platform::File& file() const override { return *copy_; }
  std::uint64_t bytesRead() const override { return spool_ ? spool_->size() : 0; }

 private:
  platform::FileSystem& files_;
  const std::optional<std::string> path_;
  Turn turn_;
  std::unique_ptr<Spool> spool_;
  std::unique_ptr<platform::File> copy_;
};

class BlockDevice final : public LentInput, public platform::File {
 public:
  BlockDevice(platform::FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

  Result<> open() override {
    auto device = files_.openBlockDevice(path_);
    if (!device) return failure(Error::ofFile(device.error()));
    const auto status = (*device)->status();
    if (!status) return failure(Error::ofFile(status.error()));
    auto pin = files_.pin(nullptr, path_, platform::Resolve::kFollow);
    if (!pin) return failure(Error::ofFile(pin.error()));
    device_ = std::move(*device);
    pin_ = std::move(*pin);
    size_ = status->size;
    return {};
  }
  const std::string& name() const override { return pin_->path(); }
  const platform::File& file() const override { return *this; }
  std::uint64_t bytesRead() const override { return size_; }

  FileResult<FileStatus> status() const override {
    // The size asked of the device each time, so one that grows or shrinks while it is read
    // counts as changed.
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
  platform::FileSystem& files_;
  const std::string path_;
  std::unique_ptr<platform::File> device_;
  std::unique_ptr<platform::PinnedFile> pin_;
  std::uint64_t size_ = 0;
};

}  // namespace

std::shared_ptr<LentInput> streamInput(platform::FileSystem& fileSystem, std::optional<std::string> path, StreamUse use,
                                       const std::shared_ptr<StreamTurns>& turns) {
  if (use == StreamUse::kKeepWhole) return std::make_shared<SpooledStream>(fileSystem, std::move(path), turns);
  return std::make_shared<LiveStream>(fileSystem, std::move(path), turns);
}

std::shared_ptr<LentInput> blockDeviceInput(platform::FileSystem& fileSystem, std::string path) {
  return std::make_shared<BlockDevice>(fileSystem, std::move(path));
}

}  // namespace corvane::tool
