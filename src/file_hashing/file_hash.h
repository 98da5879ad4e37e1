#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"

namespace corvane::file_hashing {

// Pieces of this size are read and hashed one at a time, so memory stays bounded.
inline constexpr std::size_t kHashPieceSize = 1 << 20;

// The SHA-256 of a file's whole content. Prints the open-failure line, or the line of a read
// that fails, to `console`.
std::optional<std::string> hashFile(std::string_view filePath, platform::Console& console);

}  // namespace corvane::file_hashing
