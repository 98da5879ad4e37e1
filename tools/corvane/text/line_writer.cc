#include "text/line_writer.h"

#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool {
namespace {

constexpr std::size_t kFlushAt = 1 << 16;

}  // namespace

bool appendEscapedName(std::string_view name, std::string& out) {
  auto escaped = escapeName(name);
  out.append(escaped.text);
  return escaped.escaped;
}

void LineWriter::line(std::string_view text) {
  buffer_.append(text).push_back('\n');
  if (buffer_.size() >= kFlushAt) flush();
}

bool LineWriter::flush() {
  if (!failed_ && !buffer_.empty()) failed_ = !writeOut(buffer_);
  buffer_.clear();
  return !failed_;
}

}  // namespace corvane::tool
