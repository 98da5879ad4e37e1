#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
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
// some 50 bytes a file besides its name (the names packed one after another, the devices
// numbered), in pieces that never need twice their room to grow.
class Members {
 public:
  void add(std::string_view name, const platform::FileStatus& status, bool fingerprinted = true);
  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
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
    std::uint32_t links;   // as many as fit; only ever compared with 1
    std::uint32_t device;  // an index into devices_
    std::uint8_t type;
    bool fingerprinted;
  };
  std::deque<Record> records_;
  std::vector<std::uint64_t> devices_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0, blockRoom_ = 0;
};

}  // namespace corvane::tool
