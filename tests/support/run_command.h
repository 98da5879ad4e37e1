#pragma once

#include <string>
#include <vector>

namespace corvane::testing {

struct CommandOutput {
  int status = -1;  // exit status; -1 when the command did not exit normally
  std::string out;
  std::string err;
};

// Runs the built `corvane` command with these arguments (and optional standard input), waits for
// it, and returns what it wrote.
CommandOutput runCorvane(const std::vector<std::string>& arguments, const std::string& input = {});

// The folder that holds the built command and plug-in library.
std::string binaryDirectory();

}  // namespace corvane::testing
