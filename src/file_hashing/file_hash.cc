#include "file_hashing/file_hash.h"

#include <memory>

#include "file_hashing/digest_text.h"
#include "platform/file_access.h"
#include "platform/sha256.h"

namespace corvane::file_hashing {

std::optional<std::string> hashFile(std::string_view filePath, platform::Console& console) {
  auto file = platform::FileHandle::fileHandleForReadingAtPath(filePath);
  if (!file) {
    console.printLine(std::string("path错误, ").append(filePath));
    return std::nullopt;
  }
  file->adviseSequential();
  platform::Sha256 sha;
  // Uninitialised on purpose: every byte used was just read.
  const auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(kHashPieceSize);
  for (;;) {
    const auto outcome = file->readDataOfLength({piece.get(), kHashPieceSize});
    if (outcome.error) {
      // Never a digest of part of the file.
      console.printLine("Error: " + outcome.error->localizedDescription());
      return std::nullopt;
    }
    if (outcome.count == 0) break;
    sha.update({piece.get(), outcome.count});
  }
  const auto digest = sha.finalize();
  if (!digest) return std::nullopt;
  return digestText(*digest);
}

}  // namespace corvane::file_hashing
