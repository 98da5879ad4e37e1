#include "file_hashing/file_hash.h"

#include <memory>

#include "file_hashing/digest_text.h"
#include "platform/sha256.h"

namespace corvane::file_hashing {
namespace {

using platform::FileError;

std::optional<std::string> failWithLine(const FileContext& context, std::string_view path, const FileError& error) {
  context.console.printLine("Error: " + error.description());
  context.failed(path, error);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> hashFile(std::string_view filePath, const FileContext& context) {
  auto file = context.fileSystem.openFile(nullptr, filePath, platform::Resolve::kFollow);
  auto before = file ? (*file)->status() : platform::FileResult<platform::FileStatus>(platform::Unexpected(file.error()));
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

  platform::Sha256 sha;
  // Uninitialised on purpose: every byte used was just read.
  const auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(kHashPieceSize);
  std::uint64_t total = 0;
  for (;;) {
    const auto count = reader.readSome(total, {piece.get(), kHashPieceSize});
    // Never a digest of part of the file.
    if (!count) return failWithLine(context, filePath, count.error());
    if (*count == 0) break;
    sha.update({piece.get(), *count});
    total += *count;
  }
  const auto after = reader.status();
  if (!after) return failWithLine(context, filePath, after.error());
  if ((total != before->size || !after->sameVersionAs(*before)) && !reader.onPseudoFileSystem()) {
    return failWithLine(context, filePath, FileError::of(FileError::Reason::kChanged, "read", filePath));
  }
  const auto digest = sha.finalize();
  if (!digest) return std::nullopt;
  context.read(filePath, *before);
  return digestText(*digest);
}

}  // namespace corvane::file_hashing
