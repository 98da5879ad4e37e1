#include "bench_files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

namespace corvane::bench {
namespace {

std::map<std::uint64_t, std::string>& made() {
  static std::map<std::uint64_t, std::string> files;
  return files;
}

void removeAll() {
  for (const auto& [size, path] : made()) std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

}  // namespace

const std::string& cachedFile(std::uint64_t mebibytes) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  auto& files = made();
  if (const auto it = files.find(mebibytes); it != files.end()) return it->second;
  if (files.empty()) std::atexit(removeAll);
  char pattern[] = "/tmp/corvane-bench-XXXXXX";
  const std::string path = std::string(::mkdtemp(pattern)) + "/video.mov";
  std::vector<char> block(1 << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  FILE* f = std::fopen(path.c_str(), "wb");
  for (std::uint64_t i = 0; i < mebibytes; ++i) std::fwrite(block.data(), 1, block.size(), f);
  std::fclose(f);
  f = std::fopen(path.c_str(), "rb");
  while (std::fread(block.data(), 1, block.size(), f) == block.size()) {
  }
  std::fclose(f);
  return files.emplace(mebibytes, path).first->second;
}

}  // namespace corvane::bench
