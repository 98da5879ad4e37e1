#include "text/output.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>

#include "platform/console.h"
#include "platform/file_error.h"
#include "platform/unique_fd.h"

namespace corvane::tool {
namespace {

std::atomic<int> writeFailure{0};  // errno of the first failed write to standard output

constexpr std::size_t kLargeOutput = 64 << 10;

// Lines printed while output is held; one thread prints them at a time.
struct Held {
  std::mutex mutex;
  std::atomic<bool> holding{false};
  std::string lines;
};
Held& held() {
  static Held instance;
  return instance;
}

}  // namespace

bool writeOut(std::string_view bytes) {
  if (writeFailure.load() != 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int expected = 0;
      writeFailure.compare_exchange_strong(expected, n < 0 ? errno : EIO);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool printOut(std::string_view line, char end) {
  if (auto& h = held(); h.holding) {
    std::unique_lock lock(h.mutex);
    if (writeFailure.load() != 0) return false;
    h.lines.append(line).push_back(end);
    if (h.lines.size() < kLargeOutput) return true;
    std::string lines;
    lines.swap(h.lines);
    lock.unlock();
    return writeOut(lines);
  }
  std::string whole;
  whole.reserve(line.size() + 1);
  whole.append(line).push_back(end);
  return writeOut(whole);
}

bool outputFailed() { return writeFailure.load() != 0; }

HeldOutput::HeldOutput() { held().holding = true; }

HeldOutput::~HeldOutput() {
  flush();
  held().holding = false;
}

bool HeldOutput::flush() {
  std::string lines;
  {
    std::lock_guard lock(held().mutex);
    lines.swap(held().lines);
  }
  return lines.empty() ? writeFailure.load() == 0 : writeOut(lines);
}

bool reportWriteError() {
  const int error = writeFailure.load();
  if (error == 0) return false;
  printError("write error: " + platform::FileError::system("write", "standard output", error).description());
  return true;
}

void printErr(std::string_view line) { platform::DescriptorConsole(STDERR_FILENO).printLine(line); }
void printError(std::string_view text) {
  // Names are quoted by the callers; this only keeps a message from another layer, which may
  // hold a raw name, to one line.
  std::string line = "corvane: ";
  for (const char c : text) {
    if (c == '\n') {
      line.append("\\n");
    } else if (c == '\r') {
      line.append("\\r");
    } else {
      line.push_back(c);
    }
  }
  printErr(line);
}

void holdStandardDescriptors() {
  static std::array<platform::UniqueFd, 3> held;
  for (int fd = 0; fd < 3; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // Opened the wrong way round (standard input for writing, the others for reading), so that
    // reading or writing the stream fails with EBADF as if it were still closed.
    platform::UniqueFd null(::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY));
    if (null.get() == fd) held[fd] = std::move(null);
  }
}

std::string jsonLine(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace corvane::tool
