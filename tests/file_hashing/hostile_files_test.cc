#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

// A path that names no readable regular file. `exists` tells whether an item is there at all,
// which decides the fingerprint's line.
struct HostilePath {
  const char* what;
  std::string path;
  bool exists;
};

std::vector<HostilePath> hostilePaths(const TempDir& dir) {
  const auto file = dir.write("regular", "abc");
  ::mkfifo(dir.at("fifo").c_str(), 0600);
  std::filesystem::create_symlink(dir.at("missing"), dir.at("dangling"));
  std::filesystem::create_symlink(dir.at("loop-b"), dir.at("loop-a"));
  std::filesystem::create_symlink(dir.at("loop-a"), dir.at("loop-b"));
  // A socket, bound and left without a listener.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, dir.at("socket").c_str(), sizeof address.sun_path - 1);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::close(fd);

  return {
      {"a path naming nothing", dir.at("missing"), false},
      {"the empty path", "", false},
      {"a FIFO without a writer", dir.at("fifo"), true},
      {"/dev/zero", "/dev/zero", true},
      {"/dev/urandom", "/dev/urandom", true},
      {"a directory", dir.path().string(), true},
      {"a socket", dir.at("socket"), true},
      {"a dangling link", dir.at("dangling"), false},
      {"a loop of links", dir.at("loop-a"), false},
      {"a path longer than the system allows", std::string(5000, 'x'), false},
      {"a name longer than the system allows", dir.at("") + std::string(300, 'y'), false},
      {"a NUL byte, whose prefix names a file", file + std::string("\0tail", 5), false},
      {"bytes that are not UTF-8", dir.at("\xff\xfe\xc3"), false},
  };
}

// Both file methods answer every hostile path with nil at once (a FIFO or a device must not
// block), with only their own lines.
TEST(FileMethods, HostilePathsAnswerNilAtOnceWithOnlyTheirLines) {
  TempDir dir;
  ChannelHarness harness;
  for (const auto& hostile : hostilePaths(dir)) {
    for (const char* method : {"fingerprintOfFile", "hashFile"}) {
      harness.console->clear();
      auto replies = harness.send(method, host::Value(hostile.path));
      EXPECT_EQ(replies->waitFirst(), nil()) << method << ": " << hostile.what;
      EXPECT_EQ(replies->count(), 1u) << method << ": " << hostile.what;
      const auto lines = harness.console->lines();
      if (std::string_view(method) == "hashFile") {
        // The path follows the label byte for byte, whatever it holds.
        EXPECT_EQ(lines, std::vector<std::string>{"path\xE9\x94\x99\xE8\xAF\xAF, " + hostile.path}) << hostile.what;
        continue;
      }
      ASSERT_EQ(lines.size(), 1u) << hostile.what;
      if (hostile.exists) {
        // The size line, then nothing: the item is there but cannot be opened for reading.
        EXPECT_TRUE(lines[0].starts_with("File size: ") && lines[0].ends_with(" bytes")) << hostile.what << lines[0];
      } else {
        EXPECT_EQ(lines[0], "File does not exist") << hostile.what;
      }
    }
  }
}

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
  const auto target = dir.at("target");
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
  const auto content = readBytes("/proc/version");
  ASSERT_FALSE(content.empty());
  ChannelHarness harness;
  EXPECT_EQ(harness.call("hashFile", host::Value("/proc/version")), text(referenceSha256(content)));
  EXPECT_TRUE(harness.console->lines().empty());
  EXPECT_EQ(harness.call("fingerprintOfFile", host::Value("/proc/version")), nil());
  EXPECT_EQ(harness.console->lines(),
            (std::vector<std::string>{"File size: 0 bytes", "Error: Size not known before reading (a pseudo-file)"}));
}

}  // namespace
}  // namespace corvane::testing
