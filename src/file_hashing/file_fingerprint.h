#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "file_hashing/file_context.h"

namespace corvane::file_hashing {

struct FingerprintSettings {
  std::uint64_t wholeFileLimit;  // files of at most this many bytes are hashed whole
  std::uint64_t sampleLength;    // larger files: the length of each of the five samples
};

// The sampled fingerprint of a file: SHA-256 over the size (8 bytes, least significant first),
// then the whole content or five samples at 0, step, 2 step, 3 step and size - sampleLength,
// with step = size / 4. Size and bytes come from one open file; a file that changes while it is
// read, or holds fewer or more bytes than its size says, gives no fingerprint. Prints the size
// line, and the lines of its failures, to the context's console.
std::optional<std::string> fingerprintOfFile(std::string_view filePath, const FingerprintSettings& settings,
                                             const FileContext& context);

// The same for a file already open (a library hands over the file it opened), from the size
// line on; `filePath` only names it to the observer.
std::optional<std::string> fingerprintOfOpenFile(const platform::File& file, std::string_view filePath,
                                                 const FingerprintSettings& settings, const FileContext& context);

}  // namespace corvane::file_hashing
