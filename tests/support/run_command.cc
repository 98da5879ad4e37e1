#include "support/run_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace corvane::testing {
namespace {

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string binaryDirectory() { return CORVANE_BINARY_DIR; }

CommandOutput runCorvane(const std::vector<std::string>& arguments, const std::string& input) {
  char pattern[] = "/tmp/corvane-run-XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(pattern);
  const auto inPath = dir / "in", outPath = dir / "out", errPath = dir / "err";
  std::ofstream(inPath, std::ios::binary) << input;

  const std::string program = binaryDirectory() + "/corvane";
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  CommandOutput output;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, raw.data(), environ) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  output.out = slurp(outPath);
  output.err = slurp(errPath);
  std::filesystem::remove_all(dir);
  return output;
}

}  // namespace corvane::testing
