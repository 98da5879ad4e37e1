#include "tools/catalog_support.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/hex.h"
#include "support/run_command.h"

extern char** environ;

namespace corvane::testing {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string referenceFingerprint(const std::string& content) {
  std::string message;
  for (int i = 0; i < 8; ++i) message.push_back(static_cast<char>(static_cast<std::uint64_t>(content.size()) >> (8 * i)));
  constexpr std::size_t kWhole = 102400, kSample = 16384;
  if (content.size() <= kWhole) {
    message += content;
  } else {
    const std::size_t step = content.size() / 4;
    for (const std::size_t offset : {std::size_t{0}, step, 2 * step, 3 * step, content.size() - kSample}) {
      message += content.substr(offset, kSample);
    }
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(message.data(), message.size(), digest, &length, EVP_sha256(), nullptr);
  return platform::hexText({digest, length});
}

void waitPastRacyWindow() { std::this_thread::sleep_for(std::chrono::milliseconds(2100)); }

int spawnCorvane(const std::vector<std::string>& arguments) {
  const std::string program = binaryDirectory() + "/corvane";
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, raw.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int waitFor(int pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace corvane::testing
