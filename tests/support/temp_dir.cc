#include "support/temp_dir.h"

#include <openssl/evp.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/hex.h"

namespace corvane::testing {
namespace {

std::string_view asText(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

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
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                   ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& relative, const std::vector<std::uint8_t>& content) const {
  return write(relative, asText(content));
}

std::string TempDir::write(const std::string& relative, std::string_view content) const {
  const auto file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
  return file.string();
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

std::string patternText(std::size_t size, std::uint32_t seed) { return std::string(asText(patternBytes(size, seed))); }

std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::set<std::set<std::string>> nulGroups(const std::string& out) {
  std::set<std::set<std::string>> groups;
  std::set<std::string> group;
  for (std::size_t at = 0; at < out.size();) {
    const auto end = out.find('\0', at);
    if (end == std::string::npos) break;
    if (end == at) {
      groups.insert(std::move(group));
      group.clear();
    } else {
      group.insert(out.substr(at, end - at));
    }
    at = end + 1;
  }
  return groups;
}

std::string referenceSha256(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  return platform::hexText({digest, length});
}

std::string referenceSha256(const std::vector<std::uint8_t>& bytes) { return referenceSha256(asText(bytes)); }

std::string referenceFingerprint(std::string_view content) {
  std::string message;
  for (int i = 0; i < 8; ++i)
    message.push_back(static_cast<char>(static_cast<std::uint64_t>(content.size()) >> (8 * i)));
  constexpr std::size_t kWhole = 102400, kSample = 16384;
  if (content.size() <= kWhole) {
    message += content;
  } else {
    const std::size_t step = content.size() / 4;
    for (const std::size_t offset : {std::size_t{0}, step, 2 * step, 3 * step, content.size() - kSample}) {
      message += content.substr(offset, kSample);
    }
  }
  return referenceSha256(message);
}

std::string referenceFingerprint(const std::vector<std::uint8_t>& content) {
  return referenceFingerprint(asText(content));
}

void waitPastRacyWindow() { std::this_thread::sleep_for(std::chrono::milliseconds(2100)); }

}  // namespace corvane::testing
