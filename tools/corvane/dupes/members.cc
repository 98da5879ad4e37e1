#include "dupes/members.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace corvane::tool {
namespace {

constexpr std::size_t kBlockBytes = 256 << 10;

}  // namespace

void Members::add(std::string_view name, const platform::FileStatus& status, bool fingerprinted) {
  if (name.size() > blockRoom_ - blockUsed_) {
    // A name longer than a block has one of its own.
    blockRoom_ = std::max(kBlockBytes, name.size());
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockRoom_));
    blockUsed_ = 0;
  }
  std::memcpy(blocks_.back().get() + blockUsed_, name.data(), name.size());
  // Trees lie on a few file systems: the last one met is most likely the next.
  auto device = std::find(devices_.rbegin(), devices_.rend(), status.device);
  if (device == devices_.rend()) {
    devices_.push_back(status.device);
    device = devices_.rbegin();
  }
  records_.push_back({status.size, status.inode, status.modifiedNs, status.changedNs,
                      static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(blockUsed_),
                      static_cast<std::uint32_t>(name.size()),
                      static_cast<std::uint32_t>(std::min<std::uint64_t>(status.links, UINT32_MAX)),
                      static_cast<std::uint32_t>(devices_.rend() - device - 1), static_cast<std::uint8_t>(status.type),
                      fingerprinted});
  blockUsed_ += name.size();
}

Member Members::operator[](std::size_t i) const {
  const Record& r = records_[i];
  return {std::string_view(blocks_[r.nameBlock].get() + r.nameOffset, r.nameLength),
          {.type = static_cast<platform::FileType>(r.type),
           .size = r.size,
           .device = devices_[r.device],
           .inode = r.inode,
           .links = r.links,
           .modifiedNs = r.modifiedNs,
           .changedNs = r.changedNs},
          r.fingerprinted};
}

void Members::leaveOut(const std::vector<bool>& marked) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (marked[i]) continue;
    if (kept != i) records_[kept] = records_[i];
    ++kept;
  }
  records_.resize(kept);  // their names' bytes stay: few are given twice
}

}  // namespace corvane::tool
