#pragma once

#include <memory>
#include <string_view>

namespace corvane::platform {

// Where the plug-in's printed lines go. Each line is written whole, in one write, so lines from
// several threads never mix.
class Console {
 public:
  virtual ~Console() = default;
  virtual void printLine(std::string_view text) = 0;
};

// Writes each line, with its line feed, to a file descriptor it does not own.
class DescriptorConsole final : public Console {
 public:
  explicit DescriptorConsole(int fd) : fd_(fd) {}
  void printLine(std::string_view text) override;

 private:
  int fd_;
};

// Drops every line.
class SilentConsole final : public Console {
 public:
  void printLine(std::string_view) override {}
};

// Standard output, the default.
std::shared_ptr<Console> standardOutputConsole();

}  // namespace corvane::platform
