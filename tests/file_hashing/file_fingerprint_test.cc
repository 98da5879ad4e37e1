#include <gtest/gtest.h>

#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

// The fingerprint straight from its definition: the size (8 bytes, least significant first),
// then the whole content up to 102400 bytes, else five 16384-byte samples.
std::string definedFingerprint(const std::vector<std::uint8_t>& content) {
  const std::uint64_t size = content.size();
  std::vector<std::uint8_t> fed;
  for (int i = 0; i < 8; ++i) fed.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
  const auto feed = [&](std::uint64_t offset, std::uint64_t length) {
    fed.insert(fed.end(), content.begin() + static_cast<std::ptrdiff_t>(offset),
               content.begin() + static_cast<std::ptrdiff_t>(offset + length));
  };
  if (size <= 102400) {
    feed(0, size);
  } else {
    const std::uint64_t step = size / 4;
    for (const std::uint64_t offset : {std::uint64_t{0}, step, 2 * step, 3 * step, size - 16384}) feed(offset, 16384);
  }
  return referenceSha256(fed);
}

TEST(FileFingerprint, MatchesTheDefinitionAtEverySizeBoundary) {
  TempDir dir;
  ChannelHarness harness;
  for (const std::size_t size : {0, 1, 3, 102399, 102400, 102401, 131068, 131069, 131070, 5'000'003}) {
    const auto content = patternBytes(size, static_cast<std::uint32_t>(size));
    const auto path = dir.write(std::to_string(size) + ".bin", content);
    harness.console->clear();
    EXPECT_EQ(harness.call("fingerprintOfFile", host::Value(path)), text(definedFingerprint(content))) << size;
    EXPECT_EQ(harness.console->lines(), std::vector<std::string>{"File size: " + std::to_string(size) + " bytes"});
  }
}

TEST(FileFingerprint, KnownDigestTexts) {
  TempDir dir;
  ChannelHarness harness;
  EXPECT_EQ(harness.call("fingerprintOfFile", host::Value(dir.write("empty", ""))),
            text("af5570f5a1810b7af78caf4bc70a660f0df51e42baf91d4de5b2328de0e83dfc"));
  EXPECT_EQ(harness.call("fingerprintOfFile", host::Value(dir.write("abc", "abc"))),
            text("ce91dc5eec0139adf091900d225971d6ad246a845bad791b5693a9d0d55dd391"));
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
      {"first byte", 0, true},           {"last byte of sample 1", 16383, true},
      {"just after sample 1", 16384, false}, {"just before sample 2", 2'499'999, false},
      {"inside sample 3", 5'000'100, true},  {"between samples 4 and 5", 9'000'000, false},
      {"first byte of sample 5", 9'983'616, true}, {"last byte", size - 1, true},
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

TEST(FileFingerprint, OddNamesAndLinksNameTheirFiles) {
  TempDir dir;
  ChannelHarness harness;
  const auto abc = text("ce91dc5eec0139adf091900d225971d6ad246a845bad791b5693a9d0d55dd391");
  // Paths are bytes, not text.
  const auto path = dir.write("\xff\xfe name", "abc");
  EXPECT_EQ(harness.call("fingerprintOfFile", host::Value(path)), abc);
  // A link is measured as the file it leads to, not as the link itself.
  std::filesystem::create_symlink(path, dir.path() / "link");
  harness.console->clear();
  EXPECT_EQ(harness.call("fingerprintOfFile", host::Value((dir.path() / "link").string())), abc);
  EXPECT_EQ(harness.console->lines(), std::vector<std::string>{"File size: 3 bytes"});
}

}  // namespace
}  // namespace corvane::testing
