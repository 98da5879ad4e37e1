#include "text/progress.h"

#include <unistd.h>

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
    : enabled_(enabled), totalFiles_(totalFiles), stage_(std::move(stage)) {
  if (!enabled_) return;
  try {
    ticker_ = std::thread([this] { tick(); });
  } catch (const std::system_error&) {
    enabled_ = false;
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
  const auto bytes = doneBytes_.load(std::memory_order_relaxed);
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
  if (files > 0 && totalFiles > files) {
    line +=
        ", " + durationText(elapsed * static_cast<double>(totalFiles - files) / static_cast<double>(files)) + " left";
  }
  writeAll(line);
  drawn_ = true;
}

void Progress::clearLocked() {
  if (!drawn_) return;
  writeAll("\r\033[K");
  drawn_ = false;
}

}  // namespace corvane::tool
