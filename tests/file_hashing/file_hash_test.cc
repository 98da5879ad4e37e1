#include <gtest/gtest.h>

#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

TEST(FileHash, EqualsTheShaOfTheWholeContentAroundThePieceSize) {
  TempDir dir;
  ChannelHarness harness;
  for (const std::size_t size : {0, 1, 1048575, 1048576, 1048577, 3 * 1048576 + 17}) {
    const auto content = patternBytes(size, 7);
    EXPECT_EQ(harness.call("hashFile", host::Value(dir.write("f", content))), text(referenceSha256(content))) << size;
  }
  EXPECT_TRUE(harness.console->lines().empty());
}

TEST(FileHash, PublishedTestVectors) {
  TempDir dir;
  ChannelHarness harness;
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [content, digest] : vectors) {
    EXPECT_EQ(harness.call("hashFile", host::Value(dir.write("v", content))), text(digest)) << content.size();
  }
}

TEST(FileHash, AReadThatFailsOutrightAnswersNil) {
  // This process's memory file has nothing mapped at offset 0: the first read fails with EIO.
  ChannelHarness harness;
  EXPECT_EQ(harness.call("hashFile", host::Value("/proc/self/mem")), nil());
  EXPECT_EQ(harness.console->lines(), std::vector<std::string>{"Error: Input/output error"});
}

}  // namespace
}  // namespace corvane::testing
