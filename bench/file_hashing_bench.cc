// The fingerprint against the least work any fingerprint must do: open, five 16 KiB reads and
// SHA-256 over 81,928 bytes. Run on a cached file, so that the figure is the code's, not the disk's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_files.h"
#include "file_hashing/file_fingerprint.h"
#include "file_hashing/file_hash.h"
#include "platform/console.h"

namespace {

constexpr std::uint64_t kMiB = 256;

const std::string& largeFile() { return corvane::bench::cachedFile(kMiB); }

void BM_Baseline(benchmark::State& state) {
  const auto& path = largeFile();
  constexpr off_t kSize = off_t{kMiB} << 20;
  constexpr off_t kStep = kSize / 4;
  std::array<unsigned char, 16384> sample{};
  EVP_MD* sha = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    EVP_DigestInit_ex(context, sha, nullptr);
    const std::uint64_t size = kSize;
    EVP_DigestUpdate(context, &size, 8);
    for (const off_t offset : {off_t{0}, kStep, 2 * kStep, 3 * kStep, kSize - 16384}) {
      const auto n = ::pread(fd, sample.data(), sample.size(), offset);
      EVP_DigestUpdate(context, sample.data(), static_cast<std::size_t>(n));
    }
    unsigned char digest[32];
    EVP_DigestFinal_ex(context, digest, nullptr);
    ::close(fd);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(context);
  EVP_MD_free(sha);
}
BENCHMARK(BM_Baseline);

void BM_FingerprintOfFile(benchmark::State& state) {
  const auto& path = largeFile();
  corvane::platform::SilentConsole console;
  const corvane::file_hashing::FileContext context{*corvane::platform::posixFileSystem(), console};
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvane::file_hashing::fingerprintOfFile(path, {102400, 16384}, context));
  }
}
BENCHMARK(BM_FingerprintOfFile);

void BM_HashFile(benchmark::State& state) {
  const auto& path = largeFile();
  corvane::platform::SilentConsole console;
  const corvane::file_hashing::FileContext context{*corvane::platform::posixFileSystem(), console};
  for (auto _ : state) benchmark::DoNotOptimize(corvane::file_hashing::hashFile(path, context));
  state.SetBytesProcessed(state.iterations() * (std::int64_t{kMiB} << 20));
}
BENCHMARK(BM_HashFile)->Unit(benchmark::kMillisecond);

}  // namespace
