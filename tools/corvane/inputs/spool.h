#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cli/error.h"
#include "platform/file_system.h"

namespace corvane::tool {

// A stream (standard input, a FIFO, a character device) read to its end and kept as a file, for
// the fingerprint, which needs the size before it reads. It is kept in memory up to 64 MiB and past
// that in a file in $TMPDIR (else /tmp) that no name leads to. The copy lives as long as the
// object; path() names it for as long.
class Spool {
 public:
  static Result<Spool> from(platform::FileSystem& fileSystem, platform::Stream& stream);

  // "/proc/self/fd/N": opening it opens the copy afresh, from its start.
  const std::string& path() const { return copy_->path(); }
  std::uint64_t size() const { return copy_->size(); }

 private:
  explicit Spool(std::unique_ptr<platform::SpooledFile> copy) : copy_(std::move(copy)) {}

  std::unique_ptr<platform::SpooledFile> copy_;
};

// Where spools go: $TMPDIR, else /tmp.
platform::SpoolPlace spoolPlace();

}  // namespace corvane::tool
