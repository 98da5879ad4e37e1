#pragma once

#include <string>
#include <vector>

namespace corvane::testing {

struct CommandOutput {
  int status = -1;  // exit status; -1 when the command did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// Where a command's standard output goes.
enum class Stdout {
  kCaptured,    // a file, read back into CommandOutput::out
  kFull,        // /dev/full: every write fails with ENOSPC
  kClosed,      // no descriptor 1 at all
  kBrokenPipe,  // a pipe nobody reads, with SIGPIPE ignored: writes fail with EPIPE
};

// Runs a program (found on PATH when the name has no slash) with these arguments and optional
// standard input, waits for it, and returns what it wrote.
CommandOutput runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input = {}, Stdout stdoutTo = Stdout::kCaptured);

// Runs the built `corvane` command.
CommandOutput runCorvane(const std::vector<std::string>& arguments, const std::string& input = {},
                         Stdout stdoutTo = Stdout::kCaptured);

// Runs a script of the system's shell.
CommandOutput runShell(const std::string& script);

// Starts the built command without waiting for it; its output goes nowhere. Returns its process id.
int startCorvane(const std::vector<std::string>& arguments);
// Waits for a started command: its exit status, or -1 when a signal ended it.
int waitFor(int pid);

// The folder that holds the built command and plug-in library.
std::string binaryDirectory();
// The built command.
std::string corvanePath();

}  // namespace corvane::testing
