#include "support/run_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

extern char** environ;

namespace corvane::testing {
namespace {

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const posix_spawn_file_actions_t& actions) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, raw.data(), environ) != 0) pid = -1;
  return pid;
}

int waitStatus(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

std::string binaryDirectory() { return CORVANE_BINARY_DIR; }
std::string corvanePath() { return binaryDirectory() + "/corvane"; }

CommandOutput runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input, Stdout stdoutTo) {
  char pattern[] = "/tmp/corvane-run-XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(pattern);
  const auto inPath = dir / "in", outPath = dir / "out", errPath = dir / "err";
  std::ofstream(inPath, std::ios::binary) << input;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.c_str(), O_RDONLY, 0);
  int pipeFds[2] = {-1, -1};
  switch (stdoutTo) {
    case Stdout::kCaptured:
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      break;
    case Stdout::kFull: posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0); break;
    case Stdout::kClosed: posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO); break;
    case Stdout::kBrokenPipe:
      // An ignored signal stays ignored across exec; this process never wants SIGPIPE either.
      ::signal(SIGPIPE, SIG_IGN);
      if (::pipe2(pipeFds, O_CLOEXEC) == 0) {
        ::close(pipeFds[0]);  // no reader, ever
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
      }
      break;
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  CommandOutput output;
  if (const pid_t pid = spawn(program, arguments, actions); pid > 0) {
    const int status = waitStatus(pid);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    output.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  if (pipeFds[1] >= 0) ::close(pipeFds[1]);
  posix_spawn_file_actions_destroy(&actions);
  output.out = readBytes(outPath);
  output.err = readBytes(errPath);
  std::filesystem::remove_all(dir);
  return output;
}

CommandOutput runCorvane(const std::vector<std::string>& arguments, const std::string& input, Stdout stdoutTo) {
  return runProgram(corvanePath(), arguments, input, stdoutTo);
}

CommandOutput runShell(const std::string& script) { return runProgram("/bin/sh", {"-c", script}); }

int startCorvane(const std::vector<std::string>& arguments) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const pid_t pid = spawn(corvanePath(), arguments, actions);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int waitFor(int pid) {
  const int status = waitStatus(pid);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace corvane::testing
