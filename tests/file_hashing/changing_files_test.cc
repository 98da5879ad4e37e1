#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

// A file renamed over, back and forth, between versions of different sizes while both methods
// read it: each answer is the digest of one whole version, or nil. A size from one version with
// bytes of another would be neither.
TEST(ChangingFiles, AFileRenamedOverGivesTheDigestOfOneWholeVersionOrNil) {
  TempDir dir;
  const std::vector<std::vector<std::uint8_t>> versions = {patternBytes(300'000, 1), patternBytes(200'000, 2),
                                                           patternBytes(60'000, 3), patternBytes(90'000, 4)};
  ChannelHarness harness;
  std::vector<std::string> paths;
  std::vector<host::MethodReply> wholeVersions{nil()};
  for (std::size_t i = 0; i < versions.size(); ++i) {
    std::string name = "version";  // (appended, not "v" + ...: GCC 12 warns falsely of an overlap)
    name += std::to_string(i);
    paths.push_back(dir.write(name, versions[i]));
    wholeVersions.push_back(harness.call("fingerprintOfFile", host::Value(paths.back())));
    wholeVersions.push_back(harness.call("hashFile", host::Value(paths.back())));
  }
  const auto target = (dir.path() / "target").string();
  std::atomic<bool> done{false};
  std::thread renamer([&] {
    for (std::size_t i = 0; !done; ++i) {
      // A fresh name for the version each time, renamed over the target in one step.
      const auto staged = target + ".new";
      if (::link(paths[i % paths.size()].c_str(), staged.c_str()) == 0) ::rename(staged.c_str(), target.c_str());
    }
  });
  std::size_t mixed = 0, digests = 0;
  for (int i = 0; i < 20'000; ++i) {
    const auto reply = harness.call(i % 2 ? "hashFile" : "fingerprintOfFile", host::Value(target));
    mixed += std::find(wholeVersions.begin(), wholeVersions.end(), reply) == wholeVersions.end();
    digests += reply != nil();
    if (i % 1000 == 0) harness.console->clear();
  }
  done = true;
  renamer.join();
  EXPECT_EQ(mixed, 0u);
  EXPECT_GT(digests, 0u);
}

// Pseudo-files state sizes that say nothing of what they hold (/proc states 0): the hash reads
// what they hold, as sha256sum does; the fingerprint, which hashes the size, declines with a
// reason rather than fingerprint a size with other bytes.
TEST(ChangingFiles, PseudoFilesAreHashedForWhatTheyHoldAndNeverFingerprinted) {
  std::ifstream in("/proc/version", std::ios::binary);
  std::ostringstream read;
  read << in.rdbuf();
  const std::string content = read.str();
  ASSERT_FALSE(content.empty());
  ChannelHarness harness;
  EXPECT_EQ(harness.call("hashFile", host::Value("/proc/version")),
            text(referenceSha256({content.begin(), content.end()})));
  EXPECT_TRUE(harness.console->lines().empty());
  EXPECT_EQ(harness.call("fingerprintOfFile", host::Value("/proc/version")), nil());
  EXPECT_EQ(harness.console->lines(),
            (std::vector<std::string>{"File size: 0 bytes", "Error: Size not known before reading (a pseudo-file)"}));
}

}  // namespace
}  // namespace corvane::testing
