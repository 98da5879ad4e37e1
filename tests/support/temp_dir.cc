#include "support/temp_dir.h"

#include <openssl/evp.h>
#include <stdlib.h>

#include <fstream>

#include "platform/hex.h"

namespace corvane::testing {

TempDir::TempDir() {
  char pattern[] = "/tmp/corvane-test-XXXXXX";
  path_ = ::mkdtemp(pattern);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may take permissions away; give them back so that everything can go.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& relative, const std::vector<std::uint8_t>& content) const {
  const auto file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                              static_cast<std::streamsize>(content.size()));
  return file.string();
}

std::string TempDir::write(const std::string& relative, const std::string& content) const {
  return write(relative, std::vector<std::uint8_t>(content.begin(), content.end()));
}

std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

std::string referenceSha256(const std::vector<std::uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  return platform::hexText({digest, length});
}

}  // namespace corvane::testing
