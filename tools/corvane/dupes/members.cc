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
  if (size_ % kChunk == 0 && size_ / kChunk == chunks_.size())
    chunks_.push_back(std::make_unique_for_overwrite<Record[]>(kChunk));
  at(size_++) = {.size = status.size,
                 .inode = status.inode,
                 .modifiedNs = status.modifiedNs,
                 .changedNs = status.changedNs,
                 .nameBlock = static_cast<std::uint32_t>(blocks_.size() - 1),
                 .nameOffset = static_cast<std::uint32_t>(blockUsed_),
                 .nameLength = static_cast<std::uint32_t>(name.size()),
                 .device = static_cast<std::uint32_t>(devices_.rend() - device - 1),
                 .type = static_cast<std::uint32_t>(status.type),
                 .linked = status.links > 1,
                 .fingerprinted = fingerprinted};
  blockUsed_ += name.size();
}

Member Members::operator[](std::size_t i) const {
  const Record& r = at(i);
  return {std::string_view(blocks_[r.nameBlock].get() + r.nameOffset, r.nameLength),
          {.type = static_cast<platform::FileType>(r.type),
           .size = r.size,
           .device = devices_[r.device],
           .inode = r.inode,
           .links = r.linked ? 2u : 1u,
           .modifiedNs = r.modifiedNs,
           .changedNs = r.changedNs},
          r.fingerprinted != 0};
}

void Members::leaveOut(const std::vector<bool>& marked) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < size_; ++i) {
    if (marked[i]) continue;
    if (kept != i) at(kept) = at(i);
    ++kept;
  }
  size_ = kept;  // their names' bytes stay: few are given twice
  chunks_.resize((size_ + kChunk - 1) / kChunk);
}

}  // namespace corvane::tool
