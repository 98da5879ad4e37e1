#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane::testing {

// Faults that this test program's own open, pread and close inject into file access, for paths
// that contain `marker` only. The functions stand in for the C library's in this executable.
struct FaultPlan {
  std::string marker;
  int openError = 0;                  // open fails with this errno
  std::int64_t failReadsFrom = -1;    // a read reaching this offset fails with EIO
  std::size_t shortReadLimit = 0;     // reads return at most this many bytes
  std::int64_t truncateOnOpen = -1;   // the file shrinks to this size as it is opened
  std::size_t growOnOpen = 0;         // or grows by this many bytes
};

void setFaultPlan(FaultPlan plan);
void clearFaultPlan();
std::size_t openDescriptorCount();

}  // namespace corvane::testing
