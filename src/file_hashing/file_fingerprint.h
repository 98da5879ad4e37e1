#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"

namespace corvane::file_hashing {

struct FingerprintSettings {
  std::uint64_t wholeFileLimit;  // files of at most this many bytes are hashed whole
  std::uint64_t sampleLength;    // larger files: the length of each of the five samples
};

// The sampled fingerprint of a file: SHA-256 over the size (8 bytes, least significant first),
// then the whole content or five samples at 0, step, 2 step, 3 step and size - sampleLength,
// with step = size / 4. Prints the size line, and the lines of its failures, to `console`.
std::optional<std::string> fingerprintOfFile(std::string_view filePath, const FingerprintSettings& settings,
                                             platform::Console& console);

}  // namespace corvane::file_hashing
