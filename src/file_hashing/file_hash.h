#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "file_hashing/file_context.h"

namespace corvane::file_hashing {

// Pieces of at most this size are read and hashed one at a time, so memory stays bounded.
inline constexpr std::size_t kHashPieceSize = 1 << 20;
// Nor smaller than this, whatever size a file states (a pseudo-file states 0 or a page).
inline constexpr std::size_t kSmallestHashPiece = 64 << 10;

// The SHA-256 of a file's whole content, read from one open file until a read gives nothing. A
// file that changes while it is read gives no digest; a pseudo-file (/proc, /sys), whose stated
// size says nothing of its content, is hashed for what it holds, as sha256sum would. Prints the
// open-failure line, or the line of a failed read, to the context's console.
std::optional<std::string> hashFile(std::string_view filePath, const FileContext& context);

}  // namespace corvane::file_hashing
