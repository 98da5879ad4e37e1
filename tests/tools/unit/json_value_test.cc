#include "call/json_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace corvane::tool {
namespace {

// Whole numbers go on the channel as int32 when they fit, else as int64, as an app would send
// them; past int64, and with a fraction or an exponent, as a double.
TEST(ArgumentValue, NumbersTakeTheSmallestTypeThatHoldsThem) {
  using host::Value;
  struct Case {
    std::string text;
    Value value;
  };
  const std::vector<Case> cases = {
      {"0", Value(std::int32_t{0})},
      {"2147483647", Value(std::int32_t{2147483647})},
      {"-2147483648", Value(std::int32_t{-2147483647 - 1})},
      {"2147483648", Value(std::int64_t{2147483648})},
      {"-2147483649", Value(std::int64_t{-2147483649})},
      {"9223372036854775807", Value(std::int64_t{9223372036854775807})},
      {"-9223372036854775808", Value(std::int64_t{-9223372036854775807 - 1})},
      {"9223372036854775808", Value(9223372036854775808.0)},
      {"1.5", Value(1.5)},
      {"1e3", Value(1000.0)},
      {"[2147483647, 2147483648]",
       Value(host::ValueList{Value(std::int32_t{2147483647}), Value(std::int64_t{2147483648})})},
      {"{\"b\": 1, \"a\": \"x\"}",
       Value(host::ValueMap{{Value("b"), Value(std::int32_t{1})}, {Value("a"), Value("x")}})},
      {"not json", Value("not json")},
      {"\"quoted\"", Value("quoted")},
  };
  for (const auto& c : cases) {
    const auto value = argumentValue(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_EQ(*value, c.value) << c.text;
  }
}

}  // namespace
}  // namespace corvane::tool
