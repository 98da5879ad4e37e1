#include <gtest/gtest.h>

#include "support/channel_harness.h"

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

TEST(Dispatch, TheVersionTextIsPassedOnUnchanged) {
  for (const std::string version : {"", " 12 ", "6.18.44-fc-v1272"}) {
    ChannelHarness harness(nullptr, version);
    EXPECT_EQ(harness.call("getPlatformVersion"), text("iOS " + version));
  }
}

TEST(Dispatch, TwoRegistrationsGiveTwoIndependentPlugins) {
  ChannelHarness first(nullptr, "1");
  ChannelHarness second(nullptr, "2");
  EXPECT_EQ(first.call("getPlatformVersion"), text("iOS 1"));
  EXPECT_EQ(second.call("getPlatformVersion"), text("iOS 2"));
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

}  // namespace
}  // namespace corvane::testing
