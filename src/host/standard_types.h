#pragma once

#include <cstdint>

namespace corvane::host {

// Type bytes of the standard binary encoding.
enum class StandardType : std::uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // legacy: hexadecimal text; read as text, never written
  kFloat64 = 6,
  kString = 7,
  kUint8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

inline constexpr std::uint8_t kSizeIn16Bits = 254;
inline constexpr std::uint8_t kSizeIn32Bits = 255;

}  // namespace corvane::host
