#pragma once

#include <cstddef>
#include <cstdint>

#include "host/bytes.h"
#include "host/value.h"

namespace corvane::host {

// Appends values to a message in the standard binary encoding. Alignment of doubles and typed
// lists counts from the start of the message, so a writer appends to the message it belongs to.
class StandardWriter {
 public:
  explicit StandardWriter(Bytes& message) : out_(message) {}

  // False when a size does not fit the encoding's 32-bit size field; the message is then unusable.
  [[nodiscard]] bool writeValue(const Value& value);
  void writeByte(std::uint8_t byte) { out_.push_back(byte); }

 private:
  [[nodiscard]] bool writeSize(std::size_t size);
  void alignTo(std::size_t alignment);
  void writeRaw(const void* data, std::size_t length);
  template <typename List>
  [[nodiscard]] bool writeTypedList(std::uint8_t type, const List& list);

  Bytes& out_;
};

}  // namespace corvane::host
