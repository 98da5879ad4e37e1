#include <gtest/gtest.h>

#include "support/run_command.h"

namespace corvane::testing {
namespace {

TEST(CallCommand, PrintsAnswersAsJsonWithTheRightStatus) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;  // exactly; errors are checked to be non-empty instead
  };
  const std::vector<Case> cases = {
      {{"call", "hashFile", "42"}, 0, "null\n"},
      {{"call", "hashFile", "[\"/a\"]"}, 0, "null\n"},
      // As deep as the channel carries, and past that: a usage error, never a crashed stack.
      {{"call", "hashFile", std::string(256, '[') + std::string(256, ']')}, 0, "null\n"},
      {{"call", "hashFile", std::string(20'000, '[') + std::string(20'000, ']')}, 2, ""},
      {{"call", "hashFile", std::string(20'000, '[')}, 0, "null\n"},  // not JSON: plain text
      {{"call", "noSuchMethod"}, 3, ""},
      {{"call", "GetPlatformVersion"}, 3, ""},
      {{"call"}, 2, ""},
      {{}, 2, ""},
      {{"nonsense"}, 2, ""},
      {{"call", "a", "b", "c"}, 2, ""},
      {{"--no-such-flag", "call", "getPlatformVersion"}, 2, ""},
  };
  for (const auto& c : cases) {
    const auto run = runCorvane(c.arguments);
    std::string what;
    for (const auto& a : c.arguments) what += a + " ";
    EXPECT_EQ(run.status, c.status) << what << run.err;
    EXPECT_EQ(run.out, c.out) << what;
    if (c.status != 0) {
      EXPECT_FALSE(run.err.empty()) << what;
    }
  }
}

TEST(CallCommand, PlatformVersionIsText) {
  const auto run = runCorvane({"call", "getPlatformVersion"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("\"iOS ")) << run.out;
  EXPECT_TRUE(run.out.ends_with("\"\n")) << run.out;
}

TEST(CallCommand, TraceShowsTheChannelBytes) {
  const auto run = runCorvane({"--trace", "call", "getPlatformVersion", "7"});
  // "getPlatformVersion" as text, then the int32 argument 7.
  EXPECT_NE(run.err.find("> 0712676574506c6174666f726d56657273696f6e0307000000\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\n< 0007"), std::string::npos) << run.err;
  const auto unimplemented = runCorvane({"--trace", "call", "nothing"});
  EXPECT_NE(unimplemented.err.find("< \n"), std::string::npos) << unimplemented.err;
}

}  // namespace
}  // namespace corvane::testing
