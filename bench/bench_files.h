#pragma once

#include <cstdint>
#include <string>

namespace corvane::bench {

// A file of `mebibytes` MiB under /tmp, made once per process and removed at exit. Read once
// before timing, so that it is in the page cache and the figures are the code's, not the disk's.
const std::string& cachedFile(std::uint64_t mebibytes);

}  // namespace corvane::bench
