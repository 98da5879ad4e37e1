#include "support/loop_mount.h"

#include <unistd.h>

#include <filesystem>

#include "support/run_command.h"

namespace corvane::testing {

std::unique_ptr<LoopMount> LoopMount::make(const std::string& type, std::uint64_t bytes, std::string* whyNot,
                                           const std::vector<std::string>& mkfsOptions) {
  if (::geteuid() != 0) {
    *whyNot = "needs root to mount a file system image";
    return nullptr;
  }
  std::unique_ptr<LoopMount> mount(new LoopMount());
  mount->image_ = mount->dir_.at("image");
  mount->mountPoint_ = mount->dir_.at("mnt");
  std::filesystem::create_directory(mount->mountPoint_);
  mount->dir_.write("image", "");
  std::filesystem::resize_file(mount->image_, bytes);
  std::vector<std::string> arguments{"-q"};
  arguments.insert(arguments.end(), mkfsOptions.begin(), mkfsOptions.end());
  arguments.push_back(mount->image_);
  const auto made = runProgram("mkfs." + type, arguments);
  if (made.status != 0) {
    *whyNot = "mkfs." + type + " failed: " + made.err;
    return nullptr;
  }
  if (!mount->mount()) {
    *whyNot = "cannot loop-mount a " + type + " image here";
    return nullptr;
  }
  return mount;
}

bool LoopMount::mount() {
  mounted_ = runProgram("mount", {"-o", "loop", image_, mountPoint_}).status == 0;
  return mounted_;
}

bool LoopMount::unmount() {
  if (mounted_ && runProgram("umount", {mountPoint_}).status == 0) mounted_ = false;
  return !mounted_;
}

LoopMount::~LoopMount() { unmount(); }

}  // namespace corvane::testing
