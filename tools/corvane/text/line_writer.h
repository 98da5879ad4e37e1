#pragma once

#include <string>
#include <string_view>

namespace corvane::tool {

// sha256sum's rule for names in lines, as every output line of the command has it: appends the
// name escaped to `out`; true when it needed escaping (its line then starts with '\\').
bool appendEscapedName(std::string_view name, std::string& out);

// A line of names: `text` with each name escaped, the whole line marked when any name was.
class NameLine {
 public:
  NameLine& text(std::string_view text) {
    line_.append(text);
    return *this;
  }
  NameLine& name(std::string_view name) {
    escaped_ |= appendEscapedName(name, line_);
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

}  // namespace corvane::tool
