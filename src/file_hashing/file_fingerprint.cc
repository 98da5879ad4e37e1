#include "file_hashing/file_fingerprint.h"

#include <array>
#include <vector>

#include "file_hashing/digest_text.h"
#include "platform/file_access.h"
#include "platform/sha256.h"

namespace corvane::file_hashing {
namespace {

constexpr int kEvenSamples = 4;

std::array<std::uint8_t, 8> littleEndian(std::uint64_t value) {
  std::array<std::uint8_t, 8> bytes{};
  for (auto& byte : bytes) {
    byte = static_cast<std::uint8_t>(value & 0xff);
    value >>= 8;
  }
  return bytes;
}

}  // namespace

std::optional<std::string> fingerprintOfFile(std::string_view filePath, const FingerprintSettings& settings,
                                             platform::Console& console) {
  if (!platform::fileExistsAtPath(filePath)) {
    console.printLine("File does not exist");
    return std::nullopt;
  }
  const auto size = platform::fileSizeAtPath(filePath);
  if (!size) return std::nullopt;
  console.printLine("File size: " + std::to_string(*size) + " bytes");

  platform::Sha256 sha;
  sha.update(littleEndian(*size));
  auto file = platform::FileHandle::fileHandleForReadingAtPath(filePath);
  if (!file) return std::nullopt;

  // A read that fails outright must not pass for a short read: the answer would be a
  // fingerprint of bytes the file may not hold.
  const auto readFailed = [&console](const platform::ReadOutcome& outcome) {
    if (!outcome.error) return false;
    console.printLine("Error: " + outcome.error->localizedDescription());
    return true;
  };

  if (*size <= settings.wholeFileLimit) {
    std::vector<std::uint8_t> content(*size);
    const auto outcome = file->readDataOfLength(content);
    if (readFailed(outcome)) return std::nullopt;
    sha.update(std::span(content).first(outcome.count));
  } else {
    const std::uint64_t step = *size / kEvenSamples;
    std::array<std::uint64_t, kEvenSamples + 1> offsets{0, step, 2 * step, 3 * step, *size - settings.sampleLength};
    std::vector<std::uint8_t> sample(settings.sampleLength);
    for (const auto offset : offsets) {
      if (const auto error = file->seekToOffset(offset)) {
        console.printLine("Error: " + error->localizedDescription());
        return std::nullopt;
      }
      const auto outcome = file->readDataOfLength(sample);
      if (readFailed(outcome)) return std::nullopt;
      sha.update(std::span(sample).first(outcome.count));
    }
  }
  const auto digest = sha.finalize();
  if (!digest) return std::nullopt;
  return digestText(*digest);
}

}  // namespace corvane::file_hashing
