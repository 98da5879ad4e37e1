#include "text/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <system_error>

#include "text/output.h"

namespace corvane::tool {
namespace {

using namespace std::chrono_literals;

constexpr auto kQuietStart = 500ms;  // short runs never show a display
constexpr auto kRedraw = 200ms;

}  // namespace

std::string bytesText(double bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

namespace {

std::string durationText(double seconds) {
  const auto total = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

// Bytes this process has read so far, by any read: the plug-in's reads of a large file too.
std::uint64_t bytesReadByProcess() {
  std::FILE* io = std::fopen("/proc/self/io", "r");
  if (io == nullptr) return 0;
  unsigned long long read = 0;
  const int found = std::fscanf(io, "rchar: %llu", &read);
  std::fclose(io);
  return found == 1 ? read : 0;
}

constexpr char kErase[] = "\r\033[K";

// Leaves no half-drawn line behind a signal that ends the run. Holds no state: erasing a line
// that is not there costs nothing.
void eraseAndEnd(int signal) {
  [[maybe_unused]] const auto n = ::write(STDERR_FILENO, kErase, sizeof kErase - 1);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void writeAll(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

bool Progress::terminalAttached() { return ::isatty(STDERR_FILENO) == 1; }

Progress::Progress(bool enabled, std::uint64_t totalFiles, std::string stage)
    : enabled_(enabled), totalFiles_(totalFiles), totalFinal_(totalFiles != 0), stage_(std::move(stage)) {
  if (!enabled_) return;
  readAtStart_ = bytesReadByProcess();
  struct sigaction erase {};
  erase.sa_handler = &eraseAndEnd;
  sigemptyset(&erase.sa_mask);
  ::sigaction(SIGINT, &erase, &previousInterrupt_);
  ::sigaction(SIGTERM, &erase, &previousTerminate_);
  try {
    ticker_ = std::thread([this] { tick(); });
  } catch (const std::system_error&) {
    enabled_ = false;
    ::sigaction(SIGINT, &previousInterrupt_, nullptr);
    ::sigaction(SIGTERM, &previousTerminate_, nullptr);
  }
}

Progress::~Progress() {
  if (!enabled_) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    clearLocked();
  }
  stop_.notify_all();
  ticker_.join();
  ::sigaction(SIGINT, &previousInterrupt_, nullptr);
  ::sigaction(SIGTERM, &previousTerminate_, nullptr);
}

void Progress::advance(std::uint64_t bytes, std::uint64_t files) {
  doneFiles_.fetch_add(files, std::memory_order_relaxed);
  doneBytes_.fetch_add(bytes, std::memory_order_relaxed);
}

template <typename Print>
auto Progress::printAbove(Print&& print) {
  if (!enabled_) return print();
  std::lock_guard lock(mutex_);
  clearLocked();
  return print();
}

void Progress::printLine(std::string_view text) {
  printAbove([text] { printErr(text); });
}

bool Progress::printOut(std::string_view text, char end) {
  return printAbove([text, end] { return tool::printOut(text, end); });
}

void Progress::tick() {
  std::unique_lock lock(mutex_);
  if (stop_.wait_for(lock, kQuietStart, [this] { return stopping_; })) return;
  try {
    do {
      drawLocked();
    } while (!stop_.wait_for(lock, kRedraw, [this] { return stopping_; }));
  } catch (const std::bad_alloc&) {
    // No memory for a display line: the run matters more than the display.
  }
}

void Progress::drawLocked() {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const auto files = doneFiles_.load(std::memory_order_relaxed);
  const auto totalFiles = totalFiles_.load(std::memory_order_relaxed);
  const bool totalKnown = totalFinal_.load(std::memory_order_relaxed);
  const auto read = bytesReadByProcess();
  const auto bytes =
      std::max(doneBytes_.load(std::memory_order_relaxed), read > readAtStart_ ? read - readAtStart_ : 0);
  const double rate = elapsed > 0 ? static_cast<double>(bytes) / elapsed : 0;
  // Sizes are learnt as files are read, so the time left goes by files.
  std::string line = "\r\033[K";
  if (!stage_.empty()) line.append(stage_).append(": ");
  line.append(std::to_string(files));
  if (totalFiles != 0) line.append("/").append(std::to_string(totalFiles));
  line.append(" files, ")
      .append(bytesText(static_cast<double>(bytes)))
      .append(", ")
      .append(bytesText(rate))
      .append("/s");
  if (!totalKnown) {
    line.append(", still finding files");
  } else if (files > 0 && totalFiles > files) {
    line +=
        ", " + durationText(elapsed * static_cast<double>(totalFiles - files) / static_cast<double>(files)) + " left";
  }
  writeAll(line);
  drawn_ = true;
}

void Progress::clearLocked() {
  if (!drawn_) return;
  writeAll(kErase);
  drawn_ = false;
}

}  // namespace corvane::tool
