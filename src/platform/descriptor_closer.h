#pragma once

#include "platform/unique_fd.h"

namespace corvane::platform {

// Takes the descriptors of files read and done with, and closes them when it will: a host that
// closes many in one system call, say. Each is closed at the latest when the closer goes, and
// never twice; until then its number stays taken, so no later open can be given it.
class DescriptorCloser {
 public:
  virtual ~DescriptorCloser() = default;
  virtual void close(UniqueFd fd) noexcept = 0;
};

}  // namespace corvane::platform
