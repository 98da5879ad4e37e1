#include "catalog/line_writer.h"

#include <unistd.h>

#include <cerrno>

namespace corvane::tool::catalog {
namespace {

constexpr std::size_t kFlushAt = 1 << 16;

}  // namespace

bool escapeName(std::string_view name, std::string& out) {
  if (name.find_first_of("\\\n\r") == std::string_view::npos) {
    out.append(name);
    return false;
  }
  for (const char c : name) {
    switch (c) {
      case '\\': out.append("\\\\"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      default: out.push_back(c);
    }
  }
  return true;
}

void LineWriter::line(std::string_view text) {
  buffer_.append(text).push_back('\n');
  if (buffer_.size() >= kFlushAt) flush();
}

bool LineWriter::flush() {
  std::string_view rest = buffer_;
  while (!rest.empty() && !failed_) {
    const ssize_t n = ::write(STDOUT_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  buffer_.clear();
  return !failed_;
}

}  // namespace corvane::tool::catalog
