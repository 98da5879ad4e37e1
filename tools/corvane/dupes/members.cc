#include "dupes/members.h"

#include <algorithm>
#include <cstring>

namespace corvane::tool {
namespace {

constexpr std::size_t kBlockBytes = 256 << 10;
constexpr std::size_t kLengthBytes = 10;  // the most a 64-bit length takes, seven bits a byte

}  // namespace

Members::Text Members::store(std::string_view bytes) {
  static_assert(sizeof(Slot) == 48, "a member's record grew");
  const std::size_t room = bytes.size() + kLengthBytes;
  if (room > blockRoom_ - blockUsed_) {
    // Bytes longer than a block have one of their own.
    blockRoom_ = std::max(kBlockBytes, room);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockRoom_));
    blockUsed_ = 0;
  }
  const Text where{static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(blockUsed_)};
  char* out = blocks_.back().get() + blockUsed_;
  for (std::size_t length = bytes.size();; length >>= 7) {
    *out++ = static_cast<char>((length & 0x7f) | (length > 0x7f ? 0x80 : 0));
    if (length <= 0x7f) break;
  }
  std::memcpy(out, bytes.data(), bytes.size());
  blockUsed_ = static_cast<std::size_t>(out - blocks_.back().get()) + bytes.size();
  return where;
}

std::string_view Members::text(Text where) const {
  const char* in = blocks_[where.block].get() + where.offset;
  std::size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*in++);
    length |= static_cast<std::size_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) break;
  }
  return {in, length};
}

void Members::add(std::string_view name, const platform::FileStatus& status, bool fingerprinted) {
  // A walk names a folder's files one after another: its part is held once for all of them.
  const auto slash = name.rfind('/');
  const auto folder = slash == std::string_view::npos ? std::string_view{} : name.substr(0, slash + 1);
  if (folders_.empty() || folder != lastFolder_) {
    folders_.push_back(store(folder));
    lastFolder_ = text(folders_.back());
  }
  const Text leaf = store(name.substr(folder.size()));
  // Trees lie on a few file systems: the last one met is most likely the next.
  auto device = std::find(devices_.rbegin(), devices_.rend(), status.device);
  if (device == devices_.rend()) {
    devices_.push_back(status.device);
    device = devices_.rbegin();
  }
  if (size_ % kChunk == 0 && size_ / kChunk == chunks_.size())
    chunks_.push_back(std::make_unique_for_overwrite<Slot[]>(kChunk));
  at(size_++) = {.size = status.size,
                 .inode = status.inode,
                 .modifiedNs = status.modifiedNs,
                 .changedNs = status.changedNs,
                 .folder = static_cast<std::uint32_t>(folders_.size() - 1),
                 .leaf = leaf,
                 .device = static_cast<std::uint32_t>(devices_.rend() - device - 1),
                 .type = static_cast<std::uint32_t>(status.type),
                 .linked = status.links > 1,
                 .fingerprinted = fingerprinted};
}

platform::FileStatus Members::status(std::size_t i) const {
  const Slot& s = at(i);
  return {.type = static_cast<platform::FileType>(s.type),
          .size = s.size,
          .device = devices_[s.device],
          .inode = s.inode,
          .links = s.linked ? 2u : 1u,
          .modifiedNs = s.modifiedNs,
          .changedNs = s.changedNs};
}

Member Members::operator[](std::size_t i) const {
  const Slot& s = at(i);
  const auto folder = text(folders_[s.folder]);
  const auto leaf = text(s.leaf);
  std::string name;
  name.reserve(folder.size() + leaf.size());
  name.append(folder).append(leaf);
  return {std::move(name), status(i), s.fingerprinted != 0};
}

int Members::compareNames(std::size_t a, std::size_t b) const {
  const Slot &x = at(a), &y = at(b);
  const auto xf = text(folders_[x.folder]), yf = text(folders_[y.folder]);
  if (xf == yf) return text(x.leaf).compare(text(y.leaf));
  // The two names as the bytes they would be put together, without putting them together.
  const auto xl = text(x.leaf), yl = text(y.leaf);
  const auto byteOf = [](std::string_view head, std::string_view tail, std::size_t k) {
    return static_cast<unsigned char>(k < head.size() ? head[k] : tail[k - head.size()]);
  };
  const std::size_t xs = xf.size() + xl.size(), ys = yf.size() + yl.size();
  for (std::size_t k = 0; k < std::min(xs, ys); ++k) {
    const auto cx = byteOf(xf, xl, k), cy = byteOf(yf, yl, k);
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return xs == ys ? 0 : (xs < ys ? -1 : 1);
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
