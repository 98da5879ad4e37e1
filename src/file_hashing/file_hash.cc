#include "file_hashing/file_hash.h"

#include <algorithm>
#include <memory>
#include <span>

#include "file_hashing/digest_text.h"
#include "file_hashing/stable_read.h"
#include "platform/clock.h"

namespace corvane::file_hashing {
namespace {

using platform::FileError;

// One read of the whole file, piece by piece, until a read gives nothing (or comes short at its
// stated size).
platform::FileResult<ReadPass> hashPass(const platform::File& file, std::uint64_t size, std::span<std::uint8_t> piece) {
  platform::Sha256 sha;
  std::uint64_t total = 0;
  for (;;) {
    const auto count = file.readSome(total, piece);
    if (!count) return platform::Unexpected(count.error());
    if (*count == 0) break;
    sha.update({piece.data(), *count});
    total += *count;
    if (*count < piece.size() && total == size && shortReadEndsAt(size)) break;
  }
  return ReadPass{sha.finalize(), total == size};
}

}  // namespace

std::optional<std::string> hashFile(std::string_view filePath, const FileContext& context) {
  auto file = context.fileSystem.openFile(nullptr, filePath, platform::Resolve::kFollow);
  const auto lookedAt = platform::fileClockNs();
  auto before =
      file ? (*file)->status() : platform::FileResult<platform::FileStatus>(platform::Unexpected(file.error()));
  if (before && before->type != platform::FileType::kRegular) {
    // A FIFO, a device or a folder is never read: it could block, or never end.
    before = platform::Unexpected(before->type == platform::FileType::kDirectory
                                      ? FileError::system("open", filePath, EISDIR)
                                      : FileError::of(FileError::Reason::kNotRegular, "open", filePath));
  }
  if (!before) {
    context.console.printLine(std::string("path错误, ").append(filePath));
    context.failed(filePath, before.error());
    return std::nullopt;
  }
  const platform::File& reader = **file;
  if (before->size > kHashPieceSize) reader.adviseSequential();
  // A small file gets a piece of its size and one byte more (which finds its end in one read),
  // not the largest: every call allocates one. Uninitialised on purpose: every byte used was just read.
  const auto pieceSize =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(before->size + 1, kSmallestHashPiece, kHashPieceSize));
  const auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(pieceSize);
  ReadPass outcome;
  const auto verdict = readStably(
      reader, *before, lookedAt,
      [&] {
        return hashPass(reader, before->size, {piece.get(), pieceSize});
      },
      outcome);
  // Never a digest of part of the file, nor of a mix of versions. A pseudo-file, whose stated
  // size says nothing, is hashed for what it holds, as sha256sum would.
  if (!verdict) return context.failWithLine(filePath, verdict.error());
  if (*verdict == Verdict::kChanged)
    return context.failWithLine(filePath, FileError::of(FileError::Reason::kChanged, "read", filePath));
  if (!outcome.digest) return std::nullopt;
  context.read(filePath, *before);
  return digestText(*outcome.digest);
}

}  // namespace corvane::file_hashing
