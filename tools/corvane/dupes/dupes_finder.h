#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "dupes/dupes_source.h"

namespace corvane::tool {

struct FinderSettings {
  std::uint64_t minSize = 1;
  std::uint64_t maxSize = std::numeric_limits<std::uint64_t>::max();
  bool probable = false;    // sampled fingerprints alone make (probable) groups
  bool paranoid = false;    // every group compared byte by byte, whatever its digests said
  bool wantSha256 = false;  // every confirmed group carries its whole-content SHA-256
  std::size_t threads = 1;
  std::size_t compareWindow = 16;  // files compared in step at most (each holds a descriptor)
  bool showProgress = false;
};

// Names whose files hold the same bytes, in listing order.
struct DuplicateGroup {
  std::uint64_t size = 0;
  std::vector<std::size_t> members;        // indices of the members, ascending
  std::optional<std::string> sha256;       // when a whole-content hash was made
  std::optional<std::string> fingerprint;  // of a probable group
  bool probable = false;                   // matched on the sampled fingerprint alone
};

struct FinderResult {
  std::vector<DuplicateGroup> groups;  // by their first member
  // Names that are one file (the same device and inode), in listing order: the first stands
  // for the file in the groups, the others are left out of them.
  std::vector<std::vector<std::size_t>> sameFiles;
  std::size_t changed = 0;  // files that moved between stages, left out of every group
  std::size_t failed = 0;   // files that could not be read
  std::uint64_t bytesRead = 0;
};

// Finds the groups of identical files among `members`, in stages: by size; names of one file
// set aside; the candidates digested through the channel (a fingerprint, which settles files of
// at most the fingerprint's whole-content limit, or a whole-content hash); groups of larger files then confirmed
// from their whole content, byte by byte or by hash, each file read at most once (twice only
// when paranoid and a SHA-256 is wanted). Files that change or fail are reported on standard
// error as they are met and left out.
FinderResult findDuplicates(const Members& members, const DupesSource& source, const FinderSettings& settings);

}  // namespace corvane::tool
