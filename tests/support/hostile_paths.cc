#include "support/hostile_paths.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace corvane::testing {

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

}  // namespace corvane::testing
