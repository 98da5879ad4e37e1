#include "file_hashing/file_fingerprint.h"

#include <algorithm>
#include <array>
#include <memory>

#include "corvane/corvane.h"
#include "file_hashing/digest_text.h"
#include "file_hashing/stable_read.h"
#include "platform/clock.h"

namespace corvane::file_hashing {
namespace {

using platform::FileError;
using platform::FileResult;

// Four samples evenly spaced from the start, and one at the end: the offsets below are written
// out for the public header's five.
constexpr int kEvenSamples = 4;
static_assert(CORVANE_FINGERPRINT_SAMPLE_COUNT == kEvenSamples + 1);

std::array<std::uint8_t, 8> littleEndian(std::uint64_t value) {
  std::array<std::uint8_t, 8> bytes{};
  for (auto& byte : bytes) {
    byte = static_cast<std::uint8_t>(value & 0xff);
    value >>= 8;
  }
  return bytes;
}

// One read of the fingerprint's bytes: the size, then the whole content or the five samples.
// Every read must fill its piece, and the whole content must end where the size says.
FileResult<ReadPass> fingerprintPass(const platform::File& file, std::uint64_t size,
                                     const FingerprintSettings& settings) {
  platform::Sha256 sha;
  sha.update(littleEndian(size));
  ReadPass pass{std::nullopt, true};
  if (size <= settings.wholeFileLimit) {
    const auto whole = static_cast<std::size_t>(size);
    const auto content = std::make_unique_for_overwrite<std::uint8_t[]>(whole + 1);
    // Asked for one byte past the end, which tells whether the file holds more than it said; a
    // read that comes short at the size has met the end (a status after it tells of growth).
    const auto first = file.readSome(0, {content.get(), whole + 1});
    if (!first) return platform::Unexpected(first.error());
    std::size_t count = std::min(*first, whole);
    bool beyond = *first > whole;
    if (!beyond && !(count == whole && (whole == 0 || shortReadEndsAt(size)))) {
      if (count > 0 && count < whole) {
        const auto rest = platform::readFully(file, count, {content.get() + count, whole - count});
        if (!rest) return platform::Unexpected(rest.error());
        count += *rest;
      }
      const auto past = count == whole ? file.readSome(size, {content.get() + whole, 1}) : FileResult<std::size_t>(0);
      if (!past) return platform::Unexpected(past.error());
      beyond = *past != 0;
    }
    pass.complete = count == whole && !beyond;
    sha.update({content.get(), count});
  } else {
    const std::uint64_t step = size / kEvenSamples;
    const std::array<std::uint64_t, kEvenSamples + 1> offsets{0, step, 2 * step, 3 * step,
                                                              size - settings.sampleLength};
    const auto sample = std::make_unique_for_overwrite<std::uint8_t[]>(settings.sampleLength);
    for (const auto offset : offsets) {
      const auto count =
          platform::readFully(file, offset, {sample.get(), static_cast<std::size_t>(settings.sampleLength)});
      if (!count) return platform::Unexpected(count.error());
      pass.complete = pass.complete && *count == settings.sampleLength;
      sha.update({sample.get(), *count});
    }
  }
  pass.digest = sha.finalize();
  return pass;
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
  const auto lookedAt = platform::fileClockNs();
  const auto before = file.status();
  if (!before) {
    context.failed(filePath, before.error());
    return std::nullopt;
  }
  context.console.printLine("File size: " + std::to_string(before->size) + " bytes");
  if (before->type != platform::FileType::kRegular) {
    // A FIFO, a device or a folder is never read: it could block, or never end.
    context.failed(filePath, before->type == platform::FileType::kDirectory
                                 ? FileError::system("open", filePath, EISDIR)
                                 : FileError::of(FileError::Reason::kNotRegular, "open", filePath));
    return std::nullopt;
  }
  ReadPass outcome;
  const auto verdict = readStably(
      file, *before, lookedAt, [&] { return fingerprintPass(file, before->size, settings); }, outcome);
  if (!verdict) return context.failWithLine(filePath, verdict.error());
  if (*verdict == Verdict::kChanged)
    return context.failWithLine(filePath, FileError::of(FileError::Reason::kChanged, "read", filePath));
  // A pseudo-file's stated size does not tell its content: its samples would be guesses.
  if (*verdict == Verdict::kSizeUntold) {
    return context.failWithLine(filePath, FileError::of(FileError::Reason::kPseudoFile, "read", filePath));
  }
  if (!outcome.digest) return std::nullopt;
  context.read(filePath, *before);
  return digestText(*outcome.digest);
}

}  // namespace corvane::file_hashing
