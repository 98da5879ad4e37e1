#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace corvane::tool {

// A file to compare: opened (or why it could not be), and its status as first seen.
struct ComparedFile {
  platform::FileResult<std::unique_ptr<platform::File>> file;
  platform::FileStatus expected;
};

// A file the comparison had to leave out.
struct CompareTrouble {
  std::size_t index;  // into the compared files
  bool changed;       // its size, modification time or identity moved; else it failed
  std::string why;
};

struct Comparison {
  std::vector<std::vector<std::size_t>> classes;  // files of identical content: two or more, ascending
  std::vector<CompareTrouble> troubles;
  std::uint64_t bytesRead = 0;
};

// Compares files of one size byte by byte, all in step, `chunkSize` bytes of each at a time.
// Each file is read at most once, and only until it differs from all the others. A file whose
// status moves from `expected` before the end, or that holds fewer or more bytes, is left out
// as changed. `onRead` is told of the bytes as they are read (may be empty).
Comparison compareInStep(std::span<ComparedFile> files, std::size_t chunkSize,
                         const std::function<void(std::uint64_t)>& onRead);

}  // namespace corvane::tool
