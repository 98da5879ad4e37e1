// Both ends of a lent file opener: the plug-in's file system that opens through the host, and
// the host's struct whose functions open with a file system of its own.

#include <cerrno>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "host/host_struct.h"
#include "host/lent_services.h"
#include "platform/forwarding_file_system.h"

namespace corvane::host {
namespace {

using platform::FileError;
using platform::FileResult;
using platform::FileStatus;
using platform::Unexpected;

// Only static texts cross in an error, so the operations we know are named from here.
const char* staticOperation(std::string_view operation) {
  for (const char* known : {"open", "read", "status", "list"}) {
    if (operation == known) return known;
  }
  return "read";
}

void fillError(const FileError& error, CorvaneFileError* out) {
  if (out == nullptr) return;
  const char* operation = staticOperation(error.operation);
  *out = {sizeof(CorvaneFileError),
          operation,
          std::char_traits<char>::length(operation),
          fileErrorReasonCode(error.reason),
          error.code,
          nullptr,
          0};
}

FileError errorFrom(const CorvaneFileError& lent, std::string_view fallbackOperation, std::string_view path) {
  const auto copy = copyOfHostStruct(&lent);
  std::string operation(fallbackOperation);
  if (copy && copy->operation != nullptr && copy->operation_length > 0) {
    operation.assign(copy->operation, copy->operation_length);
  }
  const int code = copy ? copy->error_number : EIO;
  return FileError{std::move(operation), std::string(path),
                   copy ? fileErrorReasonOfCode(copy->reason) : FileError::Reason::kSystem, code};
}

// The plug-in's end: a file the host opened, read through its functions.
class LentFile final : public platform::File {
 public:
  LentFile(const CorvaneFileOpener& opener, CorvaneFile* file, std::string path)
      : opener_(opener), file_(file), path_(std::move(path)) {}
  ~LentFile() override { opener_.close(opener_.user_data, file_); }
  LentFile(const LentFile&) = delete;
  LentFile& operator=(const LentFile&) = delete;

  FileResult<FileStatus> status() const override {
    CorvaneFileStatus lent{};
    lent.struct_size = sizeof lent;
    CorvaneFileError error{};
    if (opener_.status(opener_.user_data, file_, &lent, &error) != 0) {
      return Unexpected(errorFrom(error, "status", path_));
    }
    const auto s = copyOfHostStruct(&lent);
    return FileStatus{fileTypeOfCode(s->type), s->size, s->device, s->inode, s->links, s->modified_ns, s->changed_ns};
  }

  FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override {
    std::size_t count = 0;
    CorvaneFileError error{};
    if (opener_.read(opener_.user_data, file_, offset, buffer.data(), buffer.size(), &count, &error) != 0) {
      return Unexpected(errorFrom(error, "read", path_));
    }
    // A host that claims more than it was asked for is not believed.
    if (count > buffer.size()) return Unexpected(FileError::system("read", path_, EIO));
    return count;
  }

  void adviseSequential() const override {
    if (opener_.advise_sequential != nullptr) opener_.advise_sequential(opener_.user_data, file_);
  }

 private:
  const CorvaneFileOpener opener_;
  CorvaneFile* const file_;
  const std::string path_;
};

class LentFileSystem final : public platform::ForwardingFileSystem {
 public:
  LentFileSystem(const CorvaneFileOpener& opener, std::shared_ptr<platform::FileSystem> rest)
      : ForwardingFileSystem(std::move(rest)), opener_(opener) {}

  FileResult<std::unique_ptr<platform::File>> openFile(const platform::Directory* base, std::string_view path,
                                                       platform::Resolve how) override {
    if (base != nullptr || how != platform::Resolve::kFollow) return target().openFile(base, path, how);
    CorvaneFileError error{};
    CorvaneFile* file = opener_.open(opener_.user_data, path.data(), path.size(), &error);
    if (file == nullptr) return Unexpected(errorFrom(error, "open", path));
    return std::unique_ptr<platform::File>(std::make_unique<LentFile>(opener_, file, std::string(path)));
  }

 private:
  const CorvaneFileOpener opener_;
};

// The host's end: nothing may escape through C.
platform::File* fileOf(CorvaneFile* file) { return reinterpret_cast<platform::File*>(file); }

CorvaneFile* openLent(void* files, const char* path, std::size_t length, CorvaneFileError* error) noexcept {
  try {
    auto opened = static_cast<platform::FileSystem*>(files)->openFile(
        nullptr, path == nullptr ? std::string_view() : std::string_view(path, length), platform::Resolve::kFollow);
    if (!opened) {
      fillError(opened.error(), error);
      return nullptr;
    }
    return reinterpret_cast<CorvaneFile*>(opened->release());
  } catch (...) {
    fillError(FileError::system("open", {}, ENOMEM), error);
    return nullptr;
  }
}

int statusOfLent(void*, CorvaneFile* file, CorvaneFileStatus* out, CorvaneFileError* error) noexcept {
  try {
    const auto status = fileOf(file)->status();
    if (!status) {
      fillError(status.error(), error);
      return -1;
    }
    if (out != nullptr) {
      *out = {sizeof(CorvaneFileStatus),
              fileTypeCode(status->type),
              status->size,
              status->device,
              status->inode,
              status->links,
              status->modifiedNs,
              status->changedNs};
    }
    return 0;
  } catch (...) {
    fillError(FileError::system("status", {}, ENOMEM), error);
    return -1;
  }
}

int readLent(void*, CorvaneFile* file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size, std::size_t* count,
             CorvaneFileError* error) noexcept {
  try {
    const auto read = fileOf(file)->readSome(offset, {buffer, size});
    if (!read) {
      fillError(read.error(), error);
      return -1;
    }
    if (count != nullptr) *count = *read;
    return 0;
  } catch (...) {
    fillError(FileError::system("read", {}, ENOMEM), error);
    return -1;
  }
}

void adviseLent(void*, CorvaneFile* file) noexcept { fileOf(file)->adviseSequential(); }

void closeLent(void*, CorvaneFile* file) noexcept { std::unique_ptr<platform::File> owned(fileOf(file)); }

}  // namespace

std::shared_ptr<platform::FileSystem> lentFileOpener(const CorvaneFileOpener* opener,
                                                     std::shared_ptr<platform::FileSystem> rest) {
  const auto copy = copyOfHostStruct(opener);
  if (!copy || copy->open == nullptr || copy->status == nullptr || copy->read == nullptr || copy->close == nullptr) {
    return nullptr;
  }
  return std::make_shared<LentFileSystem>(*copy, std::move(rest));
}

CorvaneFileOpener lendFileOpener(platform::FileSystem& files) {
  return {sizeof(CorvaneFileOpener), &files, &openLent, &statusOfLent, &readLent, &adviseLent, &closeLent};
}

}  // namespace corvane::host
