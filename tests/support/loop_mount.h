#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::testing {

// A file system of its own kind and size, made in an image file and loop-mounted, for what only
// a real file system shows (running out of space, bytes changed behind its back). Needs root and
// loop devices; make() says why not where they are missing, and the test skips.
class LoopMount {
 public:
  static std::unique_ptr<LoopMount> make(const std::string& type, std::uint64_t bytes, std::string* whyNot,
                                         const std::vector<std::string>& mkfsOptions = {});
  ~LoopMount();
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;

  const std::string& path() const { return mountPoint_; }
  const std::string& image() const { return image_; }
  // Unmounts (flushing every write to the image) and mounts again.
  bool unmount();
  bool mount();

 private:
  LoopMount() = default;
  TempDir dir_;
  std::string image_, mountPoint_;
  bool mounted_ = false;
};

}  // namespace corvane::testing
