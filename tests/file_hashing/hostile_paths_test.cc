#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

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
  const auto at = [&](const char* name) { return (dir.path() / name).string(); };
  const auto file = dir.write("regular", "abc");
  ::mkfifo(at("fifo").c_str(), 0600);
  std::filesystem::create_symlink(at("missing"), at("dangling"));
  std::filesystem::create_symlink(at("loop-b"), at("loop-a"));
  std::filesystem::create_symlink(at("loop-a"), at("loop-b"));
  // A socket, bound and left without a listener.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, at("socket").c_str(), sizeof address.sun_path - 1);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::close(fd);

  return {
      {"a path naming nothing", at("missing"), false},
      {"the empty path", "", false},
      {"a FIFO without a writer", at("fifo"), true},
      {"/dev/zero", "/dev/zero", true},
      {"/dev/urandom", "/dev/urandom", true},
      {"a directory", dir.path().string(), true},
      {"a socket", at("socket"), true},
      {"a dangling link", at("dangling"), false},
      {"a loop of links", at("loop-a"), false},
      {"a path longer than the system allows", std::string(5000, 'x'), false},
      {"a name longer than the system allows", at("") + std::string(300, 'y'), false},
      {"a NUL byte, whose prefix names a file", file + std::string("\0tail", 5), false},
      {"bytes that are not UTF-8", at("\xff\xfe\xc3"), false},
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

}  // namespace
}  // namespace corvane::testing
