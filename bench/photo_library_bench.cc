// The asset hash against the whole-file hash on the same cached 1 GiB video, and the cost of
// the album query and of an asset fetch as the library grows: a path resolution, not a scan.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>

#include "bench_files.h"
#include "file_hashing/file_hash.h"
#include "photo_library/folder_library.h"
#include "shell/corvane_plugin.h"

namespace {

using namespace corvane;

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

std::shared_ptr<shell::CorvanePlugin> pluginOn(std::shared_ptr<photo_library::PhotoLibrary> library) {
  auto environment = shell::Environment::defaults();
  environment.console = std::make_shared<platform::SilentConsole>();
  environment.photoLibrary = std::move(library);
  return std::make_shared<shell::CorvanePlugin>(std::move(environment));
}

std::shared_ptr<photo_library::FolderLibrary> openLibrary(const std::filesystem::path& root) {
  auto library = photo_library::FolderLibrary::open(root.string(), platform::posixFileSystem());
  if (!library) std::abort();
  return *library;
}

host::MethodAnswer await(const std::function<void(host::FlutterResult)>& start) {
  auto promise = std::make_shared<std::promise<host::MethodAnswer>>();
  auto answer = promise->get_future();
  start(host::FlutterResult([promise](host::MethodAnswer a) { promise->set_value(std::move(a)); }, nullptr));
  return answer.get();
}

void BM_HashFile1GiB(benchmark::State& state) {
  const auto& path = bench::cachedFile(1024);
  platform::SilentConsole console;
  const file_hashing::FileContext context{*platform::posixFileSystem(), console};
  for (auto _ : state) benchmark::DoNotOptimize(file_hashing::hashFile(path, context));
  state.SetBytesProcessed(state.iterations() * kGiB);
}
BENCHMARK(BM_HashFile1GiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HashAsset1GiB(benchmark::State& state) {
  const std::filesystem::path path = bench::cachedFile(1024);
  const auto plugin = pluginOn(openLibrary(path.parent_path()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(await([&](host::FlutterResult r) { plugin->hashAsset("video.mov", std::move(r)); }));
  }
  state.SetBytesProcessed(state.iterations() * kGiB);
}
BENCHMARK(BM_HashAsset1GiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// A library of `assets` empty photos, 1,000 to a folder, made once per size.
std::shared_ptr<photo_library::FolderLibrary> libraryOf(std::int64_t assets) {
  static std::map<std::int64_t, std::shared_ptr<photo_library::FolderLibrary>> libraries;
  if (auto it = libraries.find(assets); it != libraries.end()) return it->second;
  static const auto base =
      std::filesystem::temp_directory_path() / ("corvane-bench-libraries-" + std::to_string(::getpid()));
  if (libraries.empty()) std::atexit([] { std::filesystem::remove_all(base); });
  const auto root = base / std::to_string(assets);
  for (std::int64_t i = 0; i < assets; ++i) {
    const auto folder = root / ("album" + std::to_string(i / 1000));
    if (i % 1000 == 0) std::filesystem::create_directories(folder);
    std::ofstream(folder / ("photo" + std::to_string(i % 1000) + ".jpg"));
  }
  return libraries[assets] = openLibrary(root);
}

void BM_AlbumQuery(benchmark::State& state) {
  const auto plugin = pluginOn(libraryOf(state.range(0)));
  const host::Value arguments(host::ValueMap{{host::Value("assetId"), host::Value("album0/photo999.jpg")},
                                             {host::Value("pathId"), host::Value("album0")},
                                             {host::Value("isUserAlbum"), host::Value(true)}});
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        await([&](host::FlutterResult r) { plugin->getIfAssetExistInAlbum(arguments, std::move(r)); }));
  }
}
BENCHMARK(BM_AlbumQuery)->Arg(1'000)->Arg(10'000)->Arg(100'000);

void BM_FetchAsset(benchmark::State& state) {
  const auto library = libraryOf(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(library->fetchAssetsWithLocalIdentifiers({"album0/photo999.jpg"}));
}
BENCHMARK(BM_FetchAsset)->Arg(1'000)->Arg(10'000)->Arg(100'000);

}  // namespace
