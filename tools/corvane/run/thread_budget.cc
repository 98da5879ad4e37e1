#include "run/thread_budget.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <thread>

#include "run/batched_closer.h"

namespace corvane::tool {
namespace {

// Under a limit on address space (ulimit -v), threads get half of it at most: the plug-in's
// work needs the rest. A thread takes its stack (RLIMIT_STACK, 8 MiB by default) and the memory
// allocator's arena it will use (64 MiB reserved).
std::size_t byAddressSpace(std::size_t wanted) {
  rlimit space{}, stack{};
  if (::getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur == RLIM_INFINITY) return wanted;
  std::uint64_t stackSize = std::uint64_t{8} << 20;
  if (::getrlimit(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM_INFINITY && stack.rlim_cur != 0) {
    stackSize = stack.rlim_cur;
  }
  constexpr std::uint64_t kArena = std::uint64_t{64} << 20;
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(space.rlim_cur / 2 / (stackSize + kArena), 1, wanted));
}

// Under a low limit on open files (ulimit -n), a call holds up to a few descriptors, and the
// walk, the standard streams and the libraries hold some of their own.
constexpr std::uint64_t kHeldElsewhere = 12;
constexpr std::uint64_t kPerCall = 4;

std::uint64_t spareDescriptors() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return UINT32_MAX;
  return files.rlim_cur > kHeldElsewhere ? files.rlim_cur - kHeldElsewhere : 0;
}

// Files read wait for their descriptors to be closed in batches of up to a sixteenth of what is
// spare; under a low limit, each is closed at once.
constexpr std::uint64_t kLargestClosingBatch = 64;
constexpr std::uint64_t kSmallestClosingBatch = 8;

std::uint64_t closingBatchOf(std::uint64_t spare) {
  const std::uint64_t batch = std::min(spare / 16, kLargestClosingBatch);
  return batch < kSmallestClosingBatch ? 0 : batch;
}

// What is left of `spare` beside the closer's batch and its own rings.
std::uint64_t spareForCalls() {
  const std::uint64_t spare = spareDescriptors();
  const std::uint64_t batch = closingBatchOf(spare);
  return spare - (batch == 0 ? 0 : batch + BatchedCloser::kMostRings);
}

std::size_t byDescriptors(std::size_t wanted) {
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(spareForCalls() / kPerCall, 1, wanted));
}

}  // namespace

std::size_t descriptorsPerThread(std::size_t threads) {
  const std::uint64_t share = spareForCalls() / std::max<std::size_t>(threads, 1);
  return static_cast<std::size_t>(share > kPerCall ? share - kPerCall : 0);
}

std::size_t closingBatch() { return static_cast<std::size_t>(closingBatchOf(spareDescriptors())); }

std::size_t threadBudget(std::size_t asked) {
  const std::size_t wanted = asked != 0 ? asked : std::max(1u, std::thread::hardware_concurrency());
  return byDescriptors(byAddressSpace(wanted));
}

}  // namespace corvane::tool
