#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "host/value.h"

namespace corvane::host {

// Reads values of the standard binary encoding from a message. Every read fails cleanly on
// malformed bytes: it never reads past the end, never allocates more than the remaining bytes
// could describe, and refuses nesting deeper than kMaxDepth so that hostile input cannot
// exhaust the stack.
class StandardReader {
 public:
  static constexpr int kMaxDepth = 256;

  explicit StandardReader(std::span<const std::uint8_t> message) : in_(message) {}

  std::optional<Value> readValue();
  std::optional<std::uint8_t> readByte();
  bool atEnd() const { return pos_ == in_.size(); }

 private:
  std::optional<Value> readValueAt(int depth);
  std::optional<std::size_t> readSize();
  bool alignTo(std::size_t alignment);
  template <typename T>
  std::optional<T> readLittleEndian();
  template <typename List>
  std::optional<Value> readTypedList();
  std::size_t remaining() const { return in_.size() - pos_; }

  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
};

}  // namespace corvane::host
