#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace corvane::tool {

// Standard output, every write checked. The first failure is kept and every later write is
// dropped: a run stops at the first false and main reports it (reportWriteError), as
// sha256sum does, so a full disk or a closed pipe never ends in a cut list and success.
bool writeOut(std::string_view bytes);
// One whole line with its end (a line feed, or NUL for -z), in one write.
bool printOut(std::string_view line, char end = '\n');
bool outputFailed();

// While one lives, what printOut prints is held back and written in one piece by flush() (and
// when it ends, or once it grows large): a run's batch of results costs one write, not one a
// line. flush() is false when the write failed.
class HeldOutput {
 public:
  HeldOutput();
  ~HeldOutput();
  HeldOutput(const HeldOutput&) = delete;
  HeldOutput& operator=(const HeldOutput&) = delete;
  bool flush();
};
// Says "corvane: write error: <reason>" when a write to standard output failed; true if so.
bool reportWriteError();

// Lines to standard error. Its failures are not the run's: there is nowhere left to say them.
void printErr(std::string_view line);
// A one-line message, "corvane: " followed by the text (line breaks in it shown as \n, \r).
void printError(std::string_view text);

// Keeps descriptors 0, 1 and 2 taken, so that a file the command opens can never land on a
// closed standard stream and receive its output; using a closed one still fails, as it would.
void holdStandardDescriptors();

// JSON as one line; text that is not UTF-8 is shown with replacement characters.
std::string jsonLine(const nlohmann::ordered_json& json);

}  // namespace corvane::tool
