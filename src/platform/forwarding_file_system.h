#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_system.h"

namespace corvane::platform {

// A file system that does everything as `target` does: the base of one that changes a few
// operations and leaves the rest alone.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(std::shared_ptr<FileSystem> target) : target_(std::move(target)) {}

  FileResult<std::unique_ptr<File>> openFile(const Directory* base, std::string_view path, Resolve how) override {
    return target_->openFile(base, path, how);
  }
  FileResult<std::unique_ptr<Directory>> openDirectory(const Directory* base, std::string_view path,
                                                       Resolve how) override {
    return target_->openDirectory(base, path, how);
  }
  FileResult<std::unique_ptr<PinnedFile>> pin(const Directory* base, std::string_view path, Resolve how) override {
    return target_->pin(base, path, how);
  }
  FileResult<FileStatus> statusOf(const Directory* base, std::string_view path, Resolve how) override {
    return target_->statusOf(base, path, how);
  }
  FileResult<std::unique_ptr<Stream>> openStream(std::string_view path) override { return target_->openStream(path); }
  std::unique_ptr<Stream> standardInput() override { return target_->standardInput(); }
  FileResult<std::unique_ptr<SpooledFile>> spool(Stream& stream, const SpoolPlace& place) override {
    return target_->spool(stream, place);
  }
  FileResult<std::unique_ptr<File>> openBlockDevice(std::string_view path) override {
    return target_->openBlockDevice(path);
  }
  FileResult<std::string> canonicalPath(std::string_view path) override { return target_->canonicalPath(path); }

 protected:
  FileSystem& target() const { return *target_; }

 private:
  std::shared_ptr<FileSystem> target_;
};

}  // namespace corvane::platform
