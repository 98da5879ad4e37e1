#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_status.h"

namespace corvane::tool::catalog {

using Digest = std::array<std::uint8_t, 32>;

// 64 hexadecimal digits (as the channel answers) as bytes; none when the text is not that.
std::optional<Digest> digestOfText(std::string_view hex);
std::string textOfDigest(const Digest& digest);

// What a catalog records of one file or asset.
struct Entry {
  std::string path;  // relative to its root, as bytes; an asset's identifier
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::optional<Digest> fingerprint;  // none for the images of a library: the channel fingerprints videos only
  std::optional<Digest> sha256;
  // Changed so shortly before it was read that a further change could have kept every time
  // stamp (they move in ticks of the file system's clock): read again by the next scan.
  bool racy = false;

  void takeStatus(const platform::FileStatus& status) {
    size = status.size;
    modifiedNs = status.modifiedNs;
    changedNs = status.changedNs;
    device = status.device;
    inode = status.inode;
  }
  // The re-scan rule: nothing that a change of content would move has moved.
  bool sameMetadataAs(const platform::FileStatus& status) const {
    return device == status.device && inode == status.inode && size == status.size && modifiedNs == status.modifiedNs &&
           changedNs == status.changedNs;
  }
};

// Whether two records hold the same content, as far as their digests tell: equal sizes, and
// equal digests of every kind both have (at least one kind). `confirmed` tells whether SHA-256
// was among them.
enum class Sameness { kDifferent, kSame, kUnknown };
Sameness compareContent(const Entry& a, const Entry& b, bool* confirmed = nullptr);

}  // namespace corvane::tool::catalog
