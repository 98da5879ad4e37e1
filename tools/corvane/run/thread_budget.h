#pragma once

#include <cstddef>

namespace corvane::tool {

// How many threads a run may use: `asked` (0: one per processor), fewer where the process's
// limits could not serve that many at once. Each thread takes address space (its stack and an
// allocator arena) and, during a call, a few file descriptors.
std::size_t threadBudget(std::size_t asked);

// File descriptors each of `threads` threads may hold at once beside a call's own, under the
// process's limit on open files (a large number when there is none).
std::size_t descriptorsPerThread(std::size_t threads);

// How many descriptors of files read may wait to be closed together (see BatchedCloser): none
// under a low limit on open files. The budgets above leave room for them.
std::size_t closingBatch();

}  // namespace corvane::tool
