#pragma once

#include <cstdint>
#include <vector>

namespace corvane::host {

// A message or a reply as channels carry it.
using Bytes = std::vector<std::uint8_t>;

}  // namespace corvane::host
