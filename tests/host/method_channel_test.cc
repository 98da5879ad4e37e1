#include "host/method_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "host/embedded_engine.h"
#include "host/method_result.h"
#include "host/plugin_registrar.h"
#include "host/standard_method_codec.h"

namespace corvane::host {
namespace {

const FlutterStandardMethodCodec& codec() { return FlutterStandardMethodCodec::sharedInstance(); }

// A handler that breaks the answer-once rule is mended by the plug-in's side of the boundary,
// and the fault reaches the engine through the C messenger: the app sees exactly one reply.
TEST(MethodChannel, AnswerFaultsAreMendedAndReachTheEngine) {
  struct Case {
    const char* what;
    FlutterMethodCallHandler handler;
    MethodReply reply;
    std::size_t faults;
  };
  const std::vector<Case> cases = {
      {"answers once", [](const FlutterMethodCall&, FlutterResult result) { result(Value("one")); }, Value("one"), 0},
      {"answers twice",
       [](const FlutterMethodCall&, FlutterResult result) {
         result(Value("first"));
         result(Value("second"));
       },
       Value("first"), 1},
      {"never answers", [](const FlutterMethodCall&, FlutterResult) {}, Value{}, 1},
      {"throws before answering", [](const FlutterMethodCall&, FlutterResult) { throw std::runtime_error("no"); },
       Value{}, 1},
      {"says it has no such method",
       [](const FlutterMethodCall&, FlutterResult result) { result(FlutterMethodNotImplemented); },
       FlutterMethodNotImplemented, 0},
  };
  for (const auto& c : cases) {
    std::vector<std::string> told;
    auto engine = EmbeddedEngine::create({[&told](std::string_view channel, std::string_view problem) {
      told.push_back(std::string(channel) + ": " + std::string(problem));
    }});
    auto* registrar = FlutterPluginRegistrar::attach(engine->registrarForPlugin());
    ASSERT_NE(registrar, nullptr);
    FlutterMethodChannel channel("test", registrar->messenger(), codec());
    channel.setMethodCallHandler(c.handler);

    std::vector<Bytes> replies;
    engine->sendOnChannel("test", codec().encodeMethodCall({"m", Value{}}).value(),
                          [&replies](Bytes reply) { replies.push_back(std::move(reply)); });
    ASSERT_EQ(replies.size(), 1u) << c.what;
    EXPECT_EQ(codec().decodeEnvelope(replies[0]), std::optional<MethodReply>(c.reply)) << c.what;
    EXPECT_EQ(engine->answerFaults(), c.faults) << c.what;
    EXPECT_EQ(told.size(), c.faults) << c.what;
    if (!told.empty()) {
      EXPECT_TRUE(told[0].starts_with("test: ")) << told[0];
    }
  }
}

// The plug-in's side can also send: through the host's C send, to whoever listens, with the
// reply decoded; a channel whose host has let go of the plug-in answers an error at once.
TEST(MethodChannel, CallsSentThroughTheHostGetTheirOneReply) {
  auto engine = EmbeddedEngine::create();
  auto* registrar = FlutterPluginRegistrar::attach(engine->registrarForPlugin());
  ASSERT_NE(registrar, nullptr);
  FlutterMethodChannel echo("echo", registrar->messenger(), codec());
  echo.setMethodCallHandler([](const FlutterMethodCall& call, FlutterResult result) { result(call.arguments); });
  auto channel = FlutterMethodChannel::methodChannelWithName("echo", registrar->messenger(), codec());

  std::vector<MethodReply> replies;
  const auto record = [&replies](MethodReply reply) { replies.push_back(std::move(reply)); };
  channel->invokeMethod({"m", Value(7)}, record);
  FlutterMethodChannel("nobody", registrar->messenger(), codec()).invokeMethod({"m", Value{}}, record);
  engine.reset();  // the registrar, and the messenger with it, go
  channel->invokeMethod({"m", Value(8)}, record);

  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0], MethodReply(Value(7)));
  EXPECT_EQ(replies[1], MethodReply(FlutterMethodNotImplemented));
  ASSERT_TRUE(std::holds_alternative<FlutterError>(replies[2]));
  EXPECT_EQ(std::get<FlutterError>(replies[2]).code, "unsendable");
}

struct Tally {
  std::atomic<int> delivered{0};
  std::atomic<int> reported{0};
  std::vector<std::string> problems;  // written only under single-threaded use
};

FlutterResult counted(Tally& tally, bool keepProblems = true) {
  return FlutterResult([&tally](MethodAnswer) { tally.delivered++; },
                       [&tally, keepProblems](std::string_view problem) {
                         tally.reported++;
                         if (keepProblems) tally.problems.emplace_back(problem);
                       });
}

TEST(FlutterResult, DeliversTheFirstAnswerAndReportsEveryLaterOne) {
  Tally tally;
  {
    const auto result = counted(tally);
    const auto copy = result;
    result(Value("first"));
    copy(Value("second"));
    result(FlutterMethodNotImplemented);
  }
  EXPECT_EQ(tally.delivered, 1);
  EXPECT_EQ(tally.reported, 2);
  EXPECT_EQ(tally.problems.at(0), "a method call was answered more than once");
}

TEST(FlutterResult, AResultDroppedUnansweredIsReportedAndAnsweredNil) {
  Tally tally;
  MethodAnswer seen = Value("unset");
  {
    FlutterResult result([&](MethodAnswer answer) { seen = std::move(answer); },
                         [&](std::string_view problem) { tally.problems.emplace_back(problem); });
    auto copy = result;  // the last copy going is what counts
  }
  EXPECT_EQ(seen, MethodAnswer(Value{}));
  EXPECT_EQ(tally.problems, std::vector<std::string>{"a method call was never answered"});
}

TEST(FlutterResult, ManyThreadsRacingToAnswerDeliverExactlyOnce) {
  for (int round = 0; round < 200; ++round) {
    Tally tally;
    {
      const auto result = counted(tally, false);
      std::vector<std::thread> threads;
      for (int t = 0; t < 4; ++t) threads.emplace_back([result, t] { result(Value(t)); });
      for (auto& thread : threads) thread.join();
    }
    ASSERT_EQ(tally.delivered, 1);
    ASSERT_EQ(tally.reported, 3);
  }
}

}  // namespace
}  // namespace corvane::host
