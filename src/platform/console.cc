#include "platform/console.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace corvane::platform {

void DescriptorConsole::printLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text).push_back('\n');
  // One write carries the whole line; a pipe may still take it in parts, so finish it.
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd_, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::shared_ptr<Console> standardOutputConsole() {
  static const auto console = std::make_shared<DescriptorConsole>(STDOUT_FILENO);
  return console;
}

}  // namespace corvane::platform
