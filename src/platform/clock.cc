#include "platform/clock.h"

#include <time.h>

namespace corvane::platform {

std::int64_t fileClockNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace corvane::platform
