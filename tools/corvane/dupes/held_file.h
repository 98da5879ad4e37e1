#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/unique_fd.h"

namespace corvane::tool {

// A file opened by one name in a folder held open, never through a link in its last place, and
// kept open by its descriptor: what is checked of it and what is done to it are one file.
class HeldFile final : public platform::File {
 public:
  // Opens `name` in the folder `folder` (a descriptor) for reading, or for reading and writing.
  static platform::FileResult<std::unique_ptr<HeldFile>> open(int folder, std::string_view name, bool writable = false);

  int descriptor() const { return fd_.get(); }
  platform::FileResult<platform::FileStatus> status() const override;
  platform::FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override;
  void adviseSequential() const override;

 private:
  HeldFile(platform::UniqueFd fd, std::string name) : fd_(std::move(fd)), name_(std::move(name)) {}
  platform::UniqueFd fd_;
  std::string name_;
};

// The status of a name in a folder held open, the name itself if it is a link.
platform::FileResult<platform::FileStatus> statusInFolder(int folder, std::string_view name);

}  // namespace corvane::tool
