#include "file_hashing/stable_read.h"

#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace corvane::file_hashing {
namespace {

// A single write rarely lasts longer; one whose time stamp is older has ended.
constexpr std::int64_t kWriteInFlightNs = 1'000'000'000;
// A write stamps the file with the time it began, which the coarse clock may not have reached.
constexpr std::int64_t kClockSlackNs = 10'000'000;

// Whether a write that began before `lookedAtNs` may still be under way: the content was last
// written (a write stamps the modification time as it begins) a moment before. A stamp from
// the future was set by hand, not by a write; a rename or a change of owner moves only the
// change time and does not count.
bool writtenLately(const platform::FileStatus& status, std::int64_t lookedAtNs) {
  return status.modifiedNs > lookedAtNs - kWriteInFlightNs && status.modifiedNs <= lookedAtNs + kClockSlackNs;
}

// How long after a file's last time stamp its second read waits. The system stamps a file at
// most once per tick of its clock, and a writer it has paused mid-write leaves no trace at all:
// a writer still at work by then has stamped the file anew.
constexpr std::int64_t kSettleNs = 20'000'000;

void waitUntilSettled(std::int64_t stampNs) {
  for (int i = 0; i < 40 && platform::fileClockNs() <= stampNs + kSettleNs; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

platform::FileResult<Verdict> readStably(const platform::File& file, const platform::FileStatus& before,
                                         std::int64_t lookedAtNs,
                                         const std::function<platform::FileResult<ReadPass>()>& pass,
                                         ReadPass& result) {
  auto first = pass();
  if (!first) return platform::Unexpected(first.error());
  result = *first;
  bool agree = true;
  if (writtenLately(before, lookedAtNs)) {
    // Changed so lately that a write may still be under way, unseen by the time stamps: read
    // again once the stamps would show a new write, and trust only two reads that agree.
    waitUntilSettled(before.modifiedNs);
    const auto second = pass();
    if (!second) return platform::Unexpected(second.error());
    agree = second->digest == first->digest && second->complete == first->complete;
  }
  const auto after = file.status();
  if (!after) return platform::Unexpected(after.error());
  if (!agree || !after->sameVersionAs(before)) return Verdict::kChanged;
  return first->complete ? Verdict::kStable : Verdict::kSizeUntold;
}

}  // namespace corvane::file_hashing
