#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "photo_library/folder_library.h"
#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

using host::Value;

struct Library {
  TempDir dir;
  std::shared_ptr<photo_library::FolderLibrary> folder;

  explicit Library(std::size_t threads = 2) {
    dir.write("Album/clip.mov", patternBytes(150'000, 1));
    dir.write("Album/photo.jpg", patternBytes(3'000, 2));
    dir.write("file.bin", patternBytes(120'000, 3));
    folder = *photo_library::FolderLibrary::open(dir.path().string(), platform::posixFileSystem(), threads);
  }
};

// Counts every reply of many calls by the call's number: each must be answered exactly once.
struct Tally {
  explicit Tally(std::size_t calls) : replies(calls) {}
  std::vector<std::atomic<int>> replies;
  std::atomic<std::size_t> answered{0};
  void record(std::size_t call) {
    replies[call]++;
    answered++;
  }
  bool waitAll(std::size_t expected) const {
    for (int i = 0; i < 60'000 && answered.load() < expected; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return answered.load() == expected;
  }
};

TEST(Load, EightThreadsOfMixedCallsAreEachAnsweredOnce) {
  Library library;
  ChannelHarness harness(library.folder);
  const auto file = (library.dir.path() / "file.bin").string();
  const auto album = [](const char* asset, const char* path) {
    return Value(host::ValueMap{{Value("assetId"), Value(asset)}, {Value("pathId"), Value(path)},
                                {Value("isUserAlbum"), Value(true)}});
  };
  const std::vector<host::FlutterMethodCall> mix = {
      {"fingerprintOfFile", Value(file)},
      {"hashFile", Value(file)},
      {"fingerprintOfFile", Value("/no/such/file")},
      {"hashFile", Value(library.dir.path().string())},
      {"fingerprintOfVideoAsset", Value("Album/clip.mov")},
      {"fingerprintOfVideoAsset", Value("Album/photo.jpg")},
      {"hashAsset", Value("Album/photo.jpg")},
      {"hashAsset", Value("../file.bin")},
      {"getIfAssetExistInAlbum", album("Album/clip.mov", "Album")},
      {"getIfAssetExistInAlbum", album("Album/clip.mov", "Nope")},
      {"getPlatformVersion", Value{}},
      {"hashFile", Value(7)},
      {"noSuchMethod", Value("x")},
  };
  constexpr std::size_t kThreads = 8, kCallsPerThread = 10'000, kCalls = kThreads * kCallsPerThread;
  Tally tally(kCalls);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i = 0; i < kCallsPerThread; ++i) {
        const std::size_t call = t * kCallsPerThread + i;
        harness.channel->invokeMethod(mix[call % mix.size()], [&tally, call](host::MethodReply) { tally.record(call); });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(tally.waitAll(kCalls)) << tally.answered.load() << " of " << kCalls;
  for (std::size_t call = 0; call < kCalls; ++call) ASSERT_EQ(tally.replies[call].load(), 1) << "call " << call;
  EXPECT_EQ(harness.engine->answerFaults(), 0u);
}

TEST(Load, ThePluginReleasedWithRequestsPendingStillAnswersEveryCallOnce) {
  constexpr std::size_t kCalls = 1000;
  Tally tally(kCalls);
  {
    Library library(1);
    ChannelHarness harness(std::move(library.folder));  // the plug-in holds the library's last reference
    for (std::size_t call = 0; call < kCalls; ++call) {
      harness.channel->invokeMethod({call % 2 ? "hashAsset" : "fingerprintOfVideoAsset", Value("Album/clip.mov")},
                                    [&tally, call](host::MethodReply) { tally.record(call); });
    }
    harness.engine.reset();  // plug-in, environment and library go, most requests still queued
    harness.channel.reset();
  }
  ASSERT_TRUE(tally.waitAll(kCalls));
  for (std::size_t call = 0; call < kCalls; ++call) ASSERT_EQ(tally.replies[call].load(), 1) << "call " << call;
}

}  // namespace
}  // namespace corvane::testing
