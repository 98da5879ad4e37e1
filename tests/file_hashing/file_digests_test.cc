#include <gtest/gtest.h>

#include "support/channel_harness.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

TEST(FileHash, EqualsTheShaOfTheWholeContentAroundThePieceSizeAndThePublishedVectors) {
  TempDir dir;
  ChannelHarness harness;
  std::vector<std::pair<std::string, std::string>> cases = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const std::size_t size : {1, 1048575, 1048576, 1048577, 3 * 1048576 + 17}) {
    const auto content = patternText(size, 7);
    cases.emplace_back(content, referenceSha256(content));
  }
  for (const auto& [content, digest] : cases) {
    EXPECT_EQ(harness.call("hashFile", host::Value(dir.write("f", content))), text(digest)) << content.size();
  }
  EXPECT_TRUE(harness.console->lines().empty());
}

TEST(FileHash, AReadThatFailsOutrightAnswersNil) {
  // This process's memory file has nothing mapped at offset 0: the first read fails with EIO.
  ChannelHarness harness;
  EXPECT_EQ(harness.call("hashFile", host::Value("/proc/self/mem")), nil());
  EXPECT_EQ(harness.console->lines(), std::vector<std::string>{"Error: Input/output error"});
}

TEST(FileFingerprint, MatchesTheDefinitionAtEverySizeBoundary) {
  TempDir dir;
  ChannelHarness harness;
  for (const std::size_t size : {0, 1, 3, 102399, 102400, 102401, 131068, 131069, 131070, 5'000'003}) {
    const auto content = patternBytes(size, static_cast<std::uint32_t>(size));
    const auto path = dir.write(std::to_string(size) + ".bin", content);
    harness.console->clear();
    EXPECT_EQ(harness.call("fingerprintOfFile", host::Value(path)), text(referenceFingerprint(content))) << size;
    EXPECT_EQ(harness.console->lines(), std::vector<std::string>{"File size: " + std::to_string(size) + " bytes"});
  }
}

// The fingerprint pinned apart from any code of ours: the hashed bytes are put together by printf
// (the size, little-endian) and dd (the samples, at offsets written out by hand) and hashed by
// sha256sum, so that a misreading of the definition cannot hide in both the code and the test.
TEST(FileFingerprint, EqualsWhatDdAndSha256sumMakeOfIt) {
  TempDir dir;
  ChannelHarness harness;
  struct Case {
    std::size_t size;
    const char* sizeBytes;                     // for printf, in octal
    std::vector<std::uint64_t> sampleOffsets;  // none: the whole content
  };
  const std::vector<Case> cases = {
      {50'000, "\\120\\303\\0\\0\\0\\0\\0\\0", {}},
      {102'401, "\\001\\220\\001\\0\\0\\0\\0\\0", {0, 25'600, 51'200, 76'800, 86'017}},
      {10'000'000, "\\200\\226\\230\\0\\0\\0\\0\\0", {0, 2'500'000, 5'000'000, 7'500'000, 9'983'616}},
  };
  for (const auto& c : cases) {
    const auto path = dir.write("sampled", patternBytes(c.size, 11));
    std::string script = "{ printf '" + std::string(c.sizeBytes) + "'; ";
    if (c.sampleOffsets.empty()) script += "cat \"$1\"; ";
    for (const auto offset : c.sampleOffsets) {
      script += "dd if=\"$1\" iflag=skip_bytes,count_bytes bs=16384 skip=" + std::to_string(offset) +
                " count=16384 status=none; ";
    }
    script += "} | sha256sum";
    const auto oracle = runProgram("bash", {"-c", script, "bash", path});
    ASSERT_EQ(oracle.status, 0) << oracle.err;
    EXPECT_EQ(harness.call("fingerprintOfFile", host::Value(path)), text(oracle.out.substr(0, 64))) << c.size;
  }
}

// Known digest texts, whatever bytes the name holds; a link is measured as the file it leads to.
TEST(FileFingerprint, KnownDigestTextsForOddNamesAndLinks) {
  TempDir dir;
  ChannelHarness harness;
  const std::string abc = "ce91dc5eec0139adf091900d225971d6ad246a845bad791b5693a9d0d55dd391";
  const auto odd = dir.write("\xff\xfe name", "abc");
  std::filesystem::create_symlink(odd, dir.path() / "link");
  const std::vector<std::tuple<std::string, std::string, std::size_t>> cases = {
      {dir.write("empty", ""), "af5570f5a1810b7af78caf4bc70a660f0df51e42baf91d4de5b2328de0e83dfc", 0},
      {odd, abc, 3},
      {dir.at("link"), abc, 3},
  };
  for (const auto& [path, digest, size] : cases) {
    harness.console->clear();
    EXPECT_EQ(harness.call("fingerprintOfFile", host::Value(path)), text(digest)) << path;
    EXPECT_EQ(harness.console->lines(), std::vector<std::string>{"File size: " + std::to_string(size) + " bytes"});
  }
}

TEST(FileFingerprint, SeesTheSizeAndTheSamplesOnly) {
  TempDir dir;
  ChannelHarness harness;
  const std::size_t size = 10'000'000;  // step 2,500,000; samples at 0, 2.5M, 5M, 7.5M, 9,983,616
  const auto original = patternBytes(size);
  const auto fingerprint = harness.call("fingerprintOfFile", host::Value(dir.write("original", original)));
  struct Case {
    const char* what;
    std::size_t changedByte;
    bool changesFingerprint;
  };
  const std::vector<Case> cases = {
      {"first byte", 0, true},
      {"last byte of sample 1", 16383, true},
      {"just after sample 1", 16384, false},
      {"just before sample 2", 2'499'999, false},
      {"inside sample 3", 5'000'100, true},
      {"between samples 4 and 5", 9'000'000, false},
      {"first byte of sample 5", 9'983'616, true},
      {"last byte", size - 1, true},
  };
  for (const auto& c : cases) {
    auto changed = original;
    changed[c.changedByte] ^= 0x5a;
    const auto answer = harness.call("fingerprintOfFile", host::Value(dir.write("changed", changed)));
    EXPECT_EQ(answer != fingerprint, c.changesFingerprint) << c.what;
  }
  auto longer = original;
  longer.push_back(0);
  EXPECT_NE(harness.call("fingerprintOfFile", host::Value(dir.write("longer", longer))), fingerprint);
}

}  // namespace
}  // namespace corvane::testing
