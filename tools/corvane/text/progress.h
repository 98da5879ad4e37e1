#pragma once

#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/console.h"

namespace corvane::tool {

// A byte count for people: "1.5 GiB".
std::string bytesText(double bytes);

// A one-line progress display on standard error (files done out of the total, bytes done, rate,
// time left), redrawn a few times a second once a run has lasted a moment, by a thread of its
// own (none when no thread can be had: the run goes on without a display). Lines written through
// it appear above the display, never mixed into it. When disabled it only passes lines through.
// A run of several stages shows each under its name; a total of 0 means it is not known yet.
// Bytes move inside a large file too: the display takes the bytes the process has read so far
// when they are more than the files done account for. While it lives and draws, Ctrl-C (or a
// TERM signal) erases the display line before the process ends as the signal says.
class Progress {
 public:
  Progress(bool enabled, std::uint64_t totalFiles, std::string stage = {});
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void advance(std::uint64_t bytes, std::uint64_t files = 1);
  // More files to do, found as the run goes (a walk feeding the work as it lists); until
  // totalComplete(), the display says files are still being found and shows no time left. A
  // total given at construction is complete.
  void addToTotal(std::uint64_t files) { totalFiles_.fetch_add(files, std::memory_order_relaxed); }
  void totalComplete() { totalFinal_.store(true, std::memory_order_relaxed); }
  // Write whole lines to standard error or standard output, above the display (which the next
  // tick draws again). printOut is false when the write failed (see output.h).
  void printLine(std::string_view text);
  bool printOut(std::string_view text, char end = '\n');

  // True when standard error is a terminal.
  static bool terminalAttached();

 private:
  void tick();
  void drawLocked();
  void clearLocked();
  template <typename Print>
  auto printAbove(Print&& print);

  bool enabled_;
  std::atomic<std::uint64_t> totalFiles_;
  std::atomic<bool> totalFinal_;
  std::uint64_t readAtStart_ = 0;  // bytes the process had read when the run began
  const std::string stage_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::atomic<std::uint64_t> doneFiles_{0};
  std::atomic<std::uint64_t> doneBytes_{0};

  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  bool drawn_ = false;
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
  std::thread ticker_;
};

// The plug-in's printed lines, kept clear of the progress display.
class ProgressConsole final : public platform::Console {
 public:
  explicit ProgressConsole(Progress& progress) : progress_(progress) {}
  void printLine(std::string_view text) override { progress_.printLine(text); }

 private:
  Progress& progress_;
};

}  // namespace corvane::tool
