#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
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
  // Writes a file (creating its folders) and returns its path.
  std::string write(const std::string& relative, const std::vector<std::uint8_t>& content) const;
  std::string write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

// Deterministic bytes that differ at every position worth checking.
std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed = 1);

// SHA-256 in one go through OpenSSL's one-shot call, as a reference that shares nothing with the
// incremental state under test; lower-case hexadecimal.
std::string referenceSha256(const std::vector<std::uint8_t>& bytes);

}  // namespace corvane::testing
