#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::testing {

// Paths that name no readable regular file, made in `dir`: each must be answered at once with
// nil. `exists` tells whether an item is there at all (for the fingerprint's existence test).
struct HostilePath {
  const char* what;
  std::string path;
  bool exists;
};

std::vector<HostilePath> hostilePaths(const TempDir& dir);

}  // namespace corvane::testing
