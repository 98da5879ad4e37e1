#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_status.h"

namespace corvane::tool {

// One name under consideration: a path or an asset identifier, and the status of its file as
// first seen, which every later look must find again.
struct Member {
  std::string name;
  platform::FileStatus status;
  bool fingerprinted = true;  // the channel has a fingerprint for it (a library's images have none)
};

// The names under consideration, in order, kept small: a tree of a great many files is held in
// some 48 bytes a file besides the last part of its name (each folder's part is held once, the
// devices numbered), in pieces that never need twice their room to grow.
class Members {
 public:
  // The most a run can take: an index, with a bit to spare, fits in 32 bits.
  static constexpr std::size_t kMost = (std::size_t{1} << 31) - 1;

  void add(std::string_view name, const platform::FileStatus& status, bool fingerprinted = true);
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The member whole, its name put together.
  Member operator[](std::size_t i) const;
  // Its parts alone, which need no name put together.
  platform::FileStatus status(std::size_t i) const;
  bool fingerprinted(std::size_t i) const { return at(i).fingerprinted != 0; }
  // The order of two names, and whether they are one, byte by byte.
  int compareNames(std::size_t a, std::size_t b) const;
  // Leaves out the members marked, keeping the order of the rest.
  void leaveOut(const std::vector<bool>& marked);

 private:
  struct Text {
    std::uint32_t block, offset;  // in blocks_
  };
  struct Slot {
    std::uint64_t size;
    std::uint64_t inode;
    std::int64_t modifiedNs;
    std::int64_t changedNs;
    std::uint32_t folder;       // an index into folders_: the name up to its last '/'
    Text leaf;                  // the rest, its length before it
    std::uint32_t device : 24;  // an index into devices_ (the kernel mounts at most 100,000 by default)
    std::uint32_t type : 5;
    std::uint32_t linked : 1;  // more than one link: all that is ever asked of the count
    std::uint32_t fingerprinted : 1;
  };
  static constexpr std::size_t kChunk = 2048;  // slots of a chunk

  Slot& at(std::size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  // Bytes kept with their length before them.
  Text store(std::string_view bytes);
  std::string_view text(Text where) const;

  std::vector<std::unique_ptr<Slot[]>> chunks_;
  std::size_t size_ = 0;
  std::vector<Text> folders_;
  std::string_view lastFolder_;
  std::vector<std::uint64_t> devices_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0, blockRoom_ = 0;
};

}  // namespace corvane::tool
