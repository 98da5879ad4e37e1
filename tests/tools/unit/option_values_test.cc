#include "cli/option_values.h"

#include <gtest/gtest.h>

namespace corvane::tool {
namespace {

TEST(OptionValues, SizesAreWholeBytesInPowersOf1024) {
  const std::pair<std::string, std::optional<std::uint64_t>> cases[] = {
      {"0", 0},
      {"500", 500},
      {"500b", 500},
      {"10K", 10 << 10},
      {"1kib", 1 << 10},
      {"1Kb", 1 << 10},
      {" 2 MB ", 2 << 20},
      {"3g", std::uint64_t{3} << 30},
      {"15E", std::uint64_t{15} << 60},
      {"0E", 0},
      {"18446744073709551615", UINT64_MAX},
      {"16E", std::nullopt},  // one past what 64 bits hold
      {"18446744073709551616", std::nullopt},
      {"-5", std::nullopt},
      {"+5", std::nullopt},
      {"1.5K", std::nullopt},
      {"12qq", std::nullopt},
      {"5kbb", std::nullopt},
      {"K", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(parseByteSize(text), bytes) << "'" << text << "'";
}

}  // namespace
}  // namespace corvane::tool
