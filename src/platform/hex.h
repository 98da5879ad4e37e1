#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace corvane::platform {

// Bytes as lower-case hexadecimal digits, two per byte, without separators.
std::string hexText(std::span<const std::uint8_t> bytes);

}  // namespace corvane::platform
