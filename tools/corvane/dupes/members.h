#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/file_status.h"

namespace corvane::tool {

// One name under consideration: a path or an asset identifier, and the status of its file as
// first seen, which every later look must find again. A view into the Members that hold it.
struct Member {
  std::string_view name;
  platform::FileStatus status;
  bool fingerprinted = true;  // the channel has a fingerprint for it (a library's images have none)
};

// The names under consideration, in order, kept small: a tree of a great many files is held in
// some 48 bytes a file besides its name (the names packed one after another, the devices
// numbered), in pieces that never need twice their room to grow.
class Members {
 public:
  // The most a run can take: an index, with a bit to spare, fits in 32 bits.
  static constexpr std::size_t kMost = (std::size_t{1} << 31) - 1;

  void add(std::string_view name, const platform::FileStatus& status, bool fingerprinted = true);
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Valid as long as these Members live.
  Member operator[](std::size_t i) const;
  // Leaves out the members marked, keeping the order of the rest.
  void leaveOut(const std::vector<bool>& marked);

 private:
  struct Record {
    std::uint64_t size;
    std::uint64_t inode;
    std::int64_t modifiedNs;
    std::int64_t changedNs;
    std::uint32_t nameBlock;
    std::uint32_t nameOffset;
    std::uint32_t nameLength;
    std::uint32_t device : 24;  // an index into devices_ (the kernel mounts at most 100,000 by default)
    std::uint32_t type : 5;
    std::uint32_t linked : 1;  // more than one link: all that is ever asked of the count
    std::uint32_t fingerprinted : 1;
  };
  static constexpr std::size_t kChunk = 2048;  // records of a chunk
  Record& at(std::size_t i) const { return chunks_[i / kChunk][i % kChunk]; }

  std::vector<std::unique_ptr<Record[]>> chunks_;
  std::size_t size_ = 0;
  std::vector<std::uint64_t> devices_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0, blockRoom_ = 0;
};

}  // namespace corvane::tool
