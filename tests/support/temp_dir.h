#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing {

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of something in the folder, made or not.
  std::string at(const std::string& relative) const { return (path_ / relative).string(); }
  // Writes a file (creating its folders) and returns its path.
  std::string write(const std::string& relative, const std::vector<std::uint8_t>& content) const;
  std::string write(const std::string& relative, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

// Deterministic bytes that differ at every position worth checking.
std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed = 1);
std::string patternText(std::size_t size, std::uint32_t seed = 1);

std::string readBytes(const std::filesystem::path& path);
std::vector<std::string> lines(const std::string& text);
// Groups as `dupes -0` prints them: names ended by NUL, groups by one more.
std::set<std::set<std::string>> nulGroups(const std::string& out);

// SHA-256 in one go through OpenSSL's one-shot call, as a reference that shares nothing with the
// incremental state under test; lower-case hexadecimal.
std::string referenceSha256(std::string_view bytes);
std::string referenceSha256(const std::vector<std::uint8_t>& bytes);

// The fingerprint as defined: SHA-256 over the size (8 bytes, little-endian), then the whole
// content up to 102400 bytes, else five 16384-byte samples at 0, size/4, 2 size/4, 3 size/4 and
// size - 16384. Built here from that definition, apart from the code under test.
std::string referenceFingerprint(std::string_view content);
std::string referenceFingerprint(const std::vector<std::uint8_t>& content);

// Time stamps move in ticks: a file written within one of a scan is read again by the next. The
// tests that count reads wait this long after writing their trees.
void waitPastRacyWindow();

}  // namespace corvane::testing
