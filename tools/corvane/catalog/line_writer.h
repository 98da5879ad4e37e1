#pragma once

#include <string>
#include <string_view>

namespace corvane::tool::catalog {

// sha256sum's rule for names in lines: a name holding '\\', '\n' or '\r' has them written as
// "\\\\", "\\n" and "\\r", and its line then starts with '\\'. True when `name` needed it.
// NOTE(merge): use the shared escaping
bool escapeName(std::string_view name, std::string& out);

// A line of names: `text` with each name escaped, the whole line marked when any name was.
class NameLine {
 public:
  NameLine& text(std::string_view text) {
    line_.append(text);
    return *this;
  }
  NameLine& name(std::string_view name) {
    escaped_ |= escapeName(name, line_);
    return *this;
  }
  std::string take() { return escaped_ ? "\\" + line_ : std::move(line_); }

 private:
  std::string line_;
  bool escaped_ = false;
};

// Lines to standard output, gathered into large writes: a diff or an export of millions of
// entries would spend its time in one write per line.
class LineWriter {
 public:
  LineWriter() = default;
  ~LineWriter() { flush(); }
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  void line(std::string_view text);
  // False once a write has failed (a closed pipe, a full disk).
  bool flush();

 private:
  std::string buffer_;
  bool failed_ = false;
};

}  // namespace corvane::tool::catalog
