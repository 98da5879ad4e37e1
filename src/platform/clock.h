#pragma once

#include <cstdint>

namespace corvane::platform {

// The time of day in nanoseconds since the epoch, from the coarse clock the kernel stamps file
// changes with, so that the two compare.
std::int64_t fileClockNs();

}  // namespace corvane::platform
