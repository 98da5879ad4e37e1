#include <gtest/gtest.h>

#include <limits>

#include "host/standard_method_codec.h"

namespace corvane::host {
namespace {

const FlutterStandardMethodCodec& codec() { return FlutterStandardMethodCodec::sharedInstance(); }

Bytes successEnvelope(const Value& value) { return codec().encodeSuccessEnvelope(value).value(); }

Value roundTrip(const Value& value) {
  const auto decoded = codec().decodeEnvelope(successEnvelope(value));
  EXPECT_TRUE(decoded.has_value());
  const auto* back = decoded ? std::get_if<Value>(&*decoded) : nullptr;
  return back ? *back : Value("<not a success>");
}

TEST(StandardCodec, EveryTypeSurvivesARoundTrip) {
  const std::vector<Value> values = {
      Value{},
      Value(true),
      Value(false),
      Value(std::int32_t{-7}),
      Value(std::numeric_limits<std::int32_t>::min()),
      Value(std::int64_t{1} << 40),
      Value(std::numeric_limits<std::int64_t>::min()),
      Value(3.25),
      Value(std::string("text with UTF-8: 错误")),
      Value(std::string()),
      Value(ByteList{0, 1, 255}),
      Value(Int32List{-1, 0, 1 << 30}),
      Value(Int64List{-(std::int64_t{1} << 50), 5}),
      Value(Float32List{1.5f, -0.25f}),
      Value(Float64List{1e300, -2.5}),
      Value(ValueList{Value(1), Value("a"), Value(ValueList{})}),
      Value(ValueMap{{Value("k"), Value(1)}, {Value(2), Value(ByteList{9})}, {Value{}, Value(false)}}),
  };
  for (const auto& value : values) EXPECT_EQ(roundTrip(value), value) << "index " << (&value - values.data());
  // All of them together, nested, so that alignment inside lists is exercised too.
  EXPECT_EQ(roundTrip(Value(ValueList(values.begin(), values.end()))), Value(ValueList(values.begin(), values.end())));
}

TEST(StandardCodec, SizePrefixesAtTheirBoundaries) {
  struct Case {
    std::size_t size;
    Bytes prefix;  // type byte and size field
  };
  const std::vector<Case> cases = {
      {0, {7, 0}}, {253, {7, 253}}, {254, {7, 254, 254, 0}}, {65535, {7, 254, 255, 255}}, {65536, {7, 255, 0, 0, 1, 0}},
  };
  for (const auto& c : cases) {
    const Value text(std::string(c.size, 'x'));
    const Bytes reply = successEnvelope(text);
    ASSERT_EQ(reply.size(), 1 + c.prefix.size() + c.size) << c.size;
    EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), reply.begin() + 1)) << c.size;
    EXPECT_EQ(roundTrip(text), text) << c.size;
    // Lists use the same size field.
    const Value list(ValueList(c.size, Value(true)));
    EXPECT_EQ(roundTrip(list), list) << c.size;
  }
}

TEST(StandardCodec, DoublesAndTypedListsAreAlignedFromTheMessageStart) {
  // The element's data ends the message, so its offset is the message's size less its length.
  struct Case {
    Value element;
    std::size_t width;
    std::size_t length;
  };
  const std::vector<Case> cases = {{Value(2.5), 8, 8},
                                   {Value(Float64List{1.0, 2.0}), 8, 16},
                                   {Value(Int64List{7}), 8, 8},
                                   {Value(Int32List{3}), 4, 4},
                                   {Value(Float32List{0.5f}), 4, 4}};
  for (std::size_t lead = 0; lead < 9; ++lead) {
    for (const auto& c : cases) {
      const Value list(ValueList{Value(std::string(lead, 'p')), c.element});
      EXPECT_EQ((successEnvelope(list).size() - c.length) % c.width, 0u) << "lead " << lead;
      EXPECT_EQ(roundTrip(list), list) << "lead " << lead;
    }
  }
}

TEST(StandardCodec, MessagesMatchTheFormatByteForByte) {
  struct Case {
    const char* what;
    Bytes encoded;
    Bytes expected;
  };
  const std::vector<Case> cases = {
      {"call without argument", codec().encodeMethodCall({"abc", Value{}}).value(), {7, 3, 'a', 'b', 'c', 0}},
      {"call with a double: padded to 8 from the message start",
       codec().encodeMethodCall({"m", Value(1.0)}).value(),
       {7, 1, 'm', 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xf0, 0x3f}},
      {"call with a text-keyed map",
       codec().encodeMethodCall({"m", Value(ValueMap{{Value("a"), Value(1)}})}).value(),
       {7, 1, 'm', 13, 1, 7, 1, 'a', 3, 1, 0, 0, 0}},
      {"call with a float32 list",
       codec().encodeMethodCall({"", Value(Float32List{1.0f})}).value(),
       {7, 0, 14, 1, 0x00, 0x00, 0x80, 0x3f}},
      {"success true", successEnvelope(Value(true)), {0, 1}},
      {"success int32 -1", successEnvelope(Value(-1)), {0, 3, 0xff, 0xff, 0xff, 0xff}},
      {"success int64 2^32", successEnvelope(Value(std::int64_t{1} << 32)), {0, 4, 0, 0, 0, 0, 1, 0, 0, 0}},
      {"error without message",
       codec().encodeErrorEnvelope({"E", std::nullopt, Value{}}).value(),
       {1, 7, 1, 'E', 0, 0}},
      {"error with message and details",
       codec().encodeErrorEnvelope({"E", "m", Value(false)}).value(),
       {1, 7, 1, 'E', 7, 1, 'm', 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.encoded, c.expected) << c.what;
}

TEST(StandardCodec, DecodesCallsAndEveryReplyKind) {
  const FlutterMethodCall call{"hashFile", Value("/tmp/x")};
  EXPECT_EQ(codec().decodeMethodCall(codec().encodeMethodCall(call).value()), call);
  EXPECT_EQ(codec().decodeEnvelope(Bytes{}), MethodReply(FlutterMethodNotImplemented));
  const FlutterError error{"code", "message", Value(ValueList{Value(1)})};
  EXPECT_EQ(codec().decodeEnvelope(codec().encodeErrorEnvelope(error).value()), MethodReply(error));
  // Newer engines add a stack trace to error replies.
  EXPECT_EQ(codec().decodeEnvelope(Bytes{1, 7, 1, 'E', 0, 0, 7, 1, 's'}),
            MethodReply(FlutterError{"E", std::nullopt, Value{}}));
  // The legacy large-integer type reads as its text.
  EXPECT_EQ(codec().decodeEnvelope(Bytes{0, 5, 2, '1', 'f'}), MethodReply(Value("1f")));
}

TEST(StandardCodec, RejectsMalformedBytesWithoutReadingPastTheEnd) {
  // Every strict prefix of a well-formed message is truncated and must be refused.
  const Value rich(ValueList{Value(1.5), Value(std::string(300, 'z')), Value(Int64List{1, 2}),
                             Value(ValueMap{{Value("k"), Value(Float32List{1.0f})}})});
  const Bytes call = codec().encodeMethodCall({"method", rich}).value();
  for (std::size_t n = 0; n < call.size(); ++n) {
    const Bytes prefix(call.begin(), call.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(codec().decodeMethodCall(prefix).has_value()) << "prefix of " << n;
  }
  const Bytes reply = successEnvelope(rich);
  for (std::size_t n = 1; n < reply.size(); ++n) {
    const Bytes prefix(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(codec().decodeEnvelope(prefix).has_value()) << "prefix of " << n;
  }

  const std::vector<std::pair<const char*, Bytes>> badCalls = {
      {"unknown type byte", {7, 1, 'm', 15}},
      {"type byte 255", {7, 1, 'm', 255}},
      {"name not text", {3, 1, 0, 0, 0, 0}},
      {"text longer than the message", {7, 5, 'a'}},
      {"huge list", {7, 1, 'm', 12, 255, 255, 255, 255, 255}},
      {"huge map", {7, 1, 'm', 13, 255, 255, 255, 255, 127}},
      {"huge typed list", {7, 1, 'm', 11, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"16-bit size cut short", {7, 254, 1}},
      {"trailing bytes", {7, 1, 'm', 0, 0}},
      {"no argument at all", {7, 1, 'm'}},
      {"nested deep enough to exhaust the stack",
       [] {
         Bytes call{7, 1, 'm'};
         for (int i = 0; i < 100000; ++i) call.insert(call.end(), {12, 1});  // a list holding a list ...
         call.push_back(0);                                                  // ... holding null
         return call;
       }()},
  };
  for (const auto& [what, bytes] : badCalls) EXPECT_FALSE(codec().decodeMethodCall(bytes).has_value()) << what;

  const std::vector<std::pair<const char*, Bytes>> badReplies = {
      {"unknown envelope kind", {2, 0}},
      {"success with trailing bytes", {0, 0, 0}},
      {"error code not text", {1, 3, 1, 0, 0, 0, 0, 0}},
      {"error message not text", {1, 7, 1, 'E', 1, 0}},
      {"error without details", {1, 7, 1, 'E', 0}},
  };
  for (const auto& [what, bytes] : badReplies) EXPECT_FALSE(codec().decodeEnvelope(bytes).has_value()) << what;
}

}  // namespace
}  // namespace corvane::host
