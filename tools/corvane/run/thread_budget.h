#pragma once

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <thread>

namespace corvane::tool {

// How many threads a run may use: `asked` (0: one per processor), fewer where the process's
// limits could not serve that many at once. Each thread takes address space (its stack and an
// allocator arena) and, during a call, a few file descriptors.
std::size_t threadBudget(std::size_t asked);

// File descriptors each of `threads` threads may hold at once beside a call's own, under the
// process's limit on open files (a large number when there is none).
std::size_t descriptorsPerThread(std::size_t threads);

// Whether a failure's errno says no file descriptor was free.
inline bool noDescriptor(int code) { return code == EMFILE || code == ENFILE; }

// Makes `attempt` again, after a pause, while `wantedDescriptor` says of its answer that it
// failed for want of a file descriptor, up to a bound: other threads hold theirs only for a
// moment, so a low limit on open files slows a run down instead of failing its files.
template <typename Attempt, typename WantedDescriptor>
auto retryForDescriptor(const Attempt& attempt, const WantedDescriptor& wantedDescriptor) {
  constexpr int kAttempts = 200;
  for (int made = 1;; ++made) {
    auto answer = attempt();
    if (made == kAttempts || !wantedDescriptor(answer)) return answer;
    std::this_thread::sleep_for(std::chrono::milliseconds(made < 10 ? 1 : 5));
  }
}

}  // namespace corvane::tool
