#pragma once

#include <cerrno>
#include <chrono>
#include <thread>

namespace corvane::tool {

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
