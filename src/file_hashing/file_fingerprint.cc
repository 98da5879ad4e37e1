#include "file_hashing/file_fingerprint.h"

#include <array>
#include <memory>

#include "file_hashing/digest_text.h"
#include "platform/sha256.h"

namespace corvane::file_hashing {
namespace {

using platform::FileError;

constexpr int kEvenSamples = 4;

std::array<std::uint8_t, 8> littleEndian(std::uint64_t value) {
  std::array<std::uint8_t, 8> bytes{};
  for (auto& byte : bytes) {
    byte = static_cast<std::uint8_t>(value & 0xff);
    value >>= 8;
  }
  return bytes;
}

std::optional<std::string> failWithLine(const FileContext& context, std::string_view path, const FileError& error) {
  context.console.printLine("Error: " + error.description());
  context.failed(path, error);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> fingerprintOfFile(std::string_view filePath, const FingerprintSettings& settings,
                                             const FileContext& context) {
  auto file = context.fileSystem.openFile(nullptr, filePath, platform::Resolve::kFollow);
  if (!file) {
    // The item may exist and still not open (no permission, no descriptor left): as the
    // platform would, tell its size, then fail. No digest depends on this second look.
    const auto status = context.fileSystem.statusOf(nullptr, filePath, platform::Resolve::kFollow);
    context.console.printLine(status ? "File size: " + std::to_string(status->size) + " bytes" : "File does not exist");
    context.failed(filePath, file.error());
    return std::nullopt;
  }
  return fingerprintOfOpenFile(**file, filePath, settings, context);
}

std::optional<std::string> fingerprintOfOpenFile(const platform::File& file, std::string_view filePath,
                                                 const FingerprintSettings& settings, const FileContext& context) {
  const auto before = file.status();
  if (!before) {
    context.failed(filePath, before.error());
    return std::nullopt;
  }
  const std::uint64_t size = before->size;
  context.console.printLine("File size: " + std::to_string(size) + " bytes");
  if (before->type != platform::FileType::kRegular) {
    // A FIFO, a device or a folder is never read: it could block, or never end.
    context.failed(filePath, before->type == platform::FileType::kDirectory
                                 ? FileError::system("open", filePath, EISDIR)
                                 : FileError::of(FileError::Reason::kNotRegular, "open", filePath));
    return std::nullopt;
  }

  platform::Sha256 sha;
  sha.update(littleEndian(size));
  // Every read must fill its piece: fewer bytes than the size promised mean the file changed.
  bool complete = true;
  if (size <= settings.wholeFileLimit) {
    const auto content = std::make_unique_for_overwrite<std::uint8_t[]>(size + 1);
    const auto count = platform::readFully(file, 0, {content.get(), static_cast<std::size_t>(size)});
    if (!count) return failWithLine(context, filePath, count.error());
    // One byte past the end tells whether the file holds more than it said.
    const auto beyond = *count == size ? file.readSome(size, {content.get() + size, 1}) : platform::FileResult<std::size_t>(0);
    if (!beyond) return failWithLine(context, filePath, beyond.error());
    complete = *count == size && *beyond == 0;
    sha.update({content.get(), *count});
  } else {
    const std::uint64_t step = size / kEvenSamples;
    const std::array<std::uint64_t, kEvenSamples + 1> offsets{0, step, 2 * step, 3 * step, size - settings.sampleLength};
    const auto sample = std::make_unique_for_overwrite<std::uint8_t[]>(settings.sampleLength);
    for (const auto offset : offsets) {
      const auto count = platform::readFully(file, offset, {sample.get(), static_cast<std::size_t>(settings.sampleLength)});
      if (!count) return failWithLine(context, filePath, count.error());
      complete = complete && *count == settings.sampleLength;
      sha.update({sample.get(), *count});
    }
  }
  const auto after = file.status();
  if (!after) return failWithLine(context, filePath, after.error());
  if (!complete || !after->sameVersionAs(*before)) {
    // A pseudo-file states a size that does not tell its content: its samples would be guesses.
    return failWithLine(context, filePath,
                        FileError::of(file.onPseudoFileSystem() ? FileError::Reason::kPseudoFile : FileError::Reason::kChanged,
                                      "read", filePath));
  }
  const auto digest = sha.finalize();
  if (!digest) return std::nullopt;
  context.read(filePath, *before);
  return digestText(*digest);
}

}  // namespace corvane::file_hashing
