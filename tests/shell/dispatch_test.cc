#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "photo_library/folder_library.h"
#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

using host::Value;

TEST(Dispatch, AnswersByExactNameInTableOrder) {
  struct Case {
    const char* method;
    Value argument;
    host::MethodReply expected;
  };
  const std::vector<Case> cases = {
      {"getPlatformVersion", Value{}, text("iOS 17.4")},
      {"getPlatformVersion", Value("ignored"), text("iOS 17.4")},
      {"getPlatformVersion", Value(host::ValueMap{{Value(1), Value(2)}}), text("iOS 17.4")},
      {"GetPlatformVersion", Value{}, notImplemented()},
      {"getplatformversion", Value{}, notImplemented()},
      {" getPlatformVersion", Value{}, notImplemented()},
      {"getPlatformVersion ", Value{}, notImplemented()},
      {"hashfile", Value("/x"), notImplemented()},
      {"", Value{}, notImplemented()},
      {"corvane", Value{}, notImplemented()},
      // The four methods that take text answer nil, not a crash, for any other argument.
      {"fingerprintOfFile", Value{}, nil()},
      {"fingerprintOfFile", Value(7), nil()},
      {"hashFile", Value(host::ValueList{Value("/etc/hostname")}), nil()},
      {"hashAsset", Value(true), nil()},
      {"fingerprintOfVideoAsset", Value(host::ByteList{97}), nil()},
  };
  ChannelHarness harness;
  for (const auto& c : cases) {
    auto replies = harness.send(c.method, c.argument);
    EXPECT_EQ(replies->waitFirst(), c.expected) << '"' << c.method << '"';
    EXPECT_EQ(replies->count(), 1u) << '"' << c.method << '"';
  }
  EXPECT_TRUE(harness.console->lines().empty());
  EXPECT_EQ(harness.engine->answerFaults(), 0u);
}

// Several registrations at once are independent plug-ins, each passing its version text on unchanged.
TEST(Dispatch, EachRegistrationPassesItsOwnVersionTextOnUnchanged) {
  const std::vector<std::string> versions = {"", " 12 ", "6.18.44-fc-v1272", "1", "2"};
  std::vector<std::unique_ptr<ChannelHarness>> harnesses;
  for (const auto& version : versions) harnesses.push_back(std::make_unique<ChannelHarness>(nullptr, version));
  for (std::size_t i = 0; i < versions.size(); ++i) {
    EXPECT_EQ(harnesses[i]->call("getPlatformVersion"), text("iOS " + versions[i])) << versions[i];
  }
}

TEST(Dispatch, MalformedMessagesGetOneErrorReplyAndNoCall) {
  ChannelHarness harness;
  for (const host::Bytes& message : {host::Bytes{}, host::Bytes{3, 0, 0, 0, 0, 0}, host::Bytes{7, 200}}) {
    int replies = 0;
    host::Bytes reply;
    harness.engine->sendOnChannel("corvane", message, [&](host::Bytes r) {
      ++replies;
      reply = std::move(r);
    });
    EXPECT_EQ(replies, 1);
    const auto decoded = host::FlutterStandardMethodCodec::sharedInstance().decodeEnvelope(reply);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(std::holds_alternative<host::FlutterError>(*decoded));
  }
}

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
    for (int i = 0; i < 60'000 && answered.load() < expected; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return answered.load() == expected;
  }
};

TEST(Load, EightThreadsOfMixedCallsAreEachAnsweredOnce) {
  TempDir dir;
  dir.write("Album/clip.mov", patternBytes(150'000, 1));
  dir.write("Album/photo.jpg", patternBytes(3'000, 2));
  const auto file = dir.write("file.bin", patternBytes(120'000, 3));
  ChannelHarness harness(*photo_library::FolderLibrary::open(dir.path().string(), platform::posixFileSystem(), 2));
  const std::vector<host::FlutterMethodCall> mix = {
      {"fingerprintOfFile", Value(file)},
      {"hashFile", Value(file)},
      {"fingerprintOfFile", Value("/no/such/file")},
      {"hashFile", Value(dir.path().string())},
      {"fingerprintOfVideoAsset", Value("Album/clip.mov")},
      {"fingerprintOfVideoAsset", Value("Album/photo.jpg")},
      {"hashAsset", Value("Album/photo.jpg")},
      {"hashAsset", Value("../file.bin")},
      {"getIfAssetExistInAlbum", albumQuery(Value("Album/clip.mov"), Value("Album"))},
      {"getIfAssetExistInAlbum", albumQuery(Value("Album/clip.mov"), Value("Nope"))},
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
        harness.channel->invokeMethod(mix[call % mix.size()],
                                      [&tally, call](host::MethodReply) { tally.record(call); });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(tally.waitAll(kCalls)) << tally.answered.load() << " of " << kCalls;
  for (std::size_t call = 0; call < kCalls; ++call) ASSERT_EQ(tally.replies[call].load(), 1) << "call " << call;
  EXPECT_EQ(harness.engine->answerFaults(), 0u);
}

}  // namespace
}  // namespace corvane::testing
