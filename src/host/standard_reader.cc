#include "host/standard_reader.h"

#include <bit>
#include <cstring>
#include <string>

#include "host/standard_types.h"

namespace corvane::host {

std::optional<std::uint8_t> StandardReader::readByte() {
  if (remaining() < 1) return std::nullopt;
  return in_[pos_++];
}

template <typename T>
std::optional<T> StandardReader::readLittleEndian() {
  static_assert(std::endian::native == std::endian::little, "the encoding is little-endian");
  if (remaining() < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, in_.data() + pos_, sizeof(T));
  pos_ += sizeof(T);
  return value;
}

std::optional<std::size_t> StandardReader::readSize() {
  const auto first = readByte();
  if (!first) return std::nullopt;
  if (*first < kSizeIn16Bits) return *first;
  if (*first == kSizeIn16Bits) {
    const auto size = readLittleEndian<std::uint16_t>();
    if (!size) return std::nullopt;
    return *size;
  }
  const auto size = readLittleEndian<std::uint32_t>();
  if (!size) return std::nullopt;
  return *size;
}

bool StandardReader::alignTo(std::size_t alignment) {
  const std::size_t mod = pos_ % alignment;
  if (mod == 0) return true;
  const std::size_t pad = alignment - mod;
  if (remaining() < pad) return false;
  pos_ += pad;
  return true;
}

template <typename List>
std::optional<Value> StandardReader::readTypedList() {
  using Element = typename List::value_type;
  const auto count = readSize();
  if (!count || !alignTo(sizeof(Element))) return std::nullopt;
  if (*count > remaining() / sizeof(Element)) return std::nullopt;
  List list(*count);
  if (*count != 0) std::memcpy(list.data(), in_.data() + pos_, *count * sizeof(Element));
  pos_ += *count * sizeof(Element);
  return Value(std::move(list));
}

std::optional<Value> StandardReader::readValue() { return readValueAt(0); }

std::optional<Value> StandardReader::readValueAt(int depth) {
  if (depth > kMaxDepth) return std::nullopt;
  const auto typeByte = readByte();
  if (!typeByte) return std::nullopt;
  switch (static_cast<StandardType>(*typeByte)) {
    case StandardType::kNull: return Value{};
    case StandardType::kTrue: return Value(true);
    case StandardType::kFalse: return Value(false);
    case StandardType::kInt32: {
      const auto v = readLittleEndian<std::int32_t>();
      if (!v) return std::nullopt;
      return Value(*v);
    }
    case StandardType::kInt64: {
      const auto v = readLittleEndian<std::int64_t>();
      if (!v) return std::nullopt;
      return Value(*v);
    }
    case StandardType::kFloat64: {
      if (!alignTo(8)) return std::nullopt;
      const auto v = readLittleEndian<double>();
      if (!v) return std::nullopt;
      return Value(*v);
    }
    case StandardType::kLargeInt:
    case StandardType::kString: {
      const auto length = readSize();
      if (!length || *length > remaining()) return std::nullopt;
      std::string text(reinterpret_cast<const char*>(in_.data() + pos_), *length);
      pos_ += *length;
      return Value(std::move(text));
    }
    case StandardType::kUint8List: return readTypedList<ByteList>();
    case StandardType::kInt32List: return readTypedList<Int32List>();
    case StandardType::kInt64List: return readTypedList<Int64List>();
    case StandardType::kFloat32List: return readTypedList<Float32List>();
    case StandardType::kFloat64List: return readTypedList<Float64List>();
    case StandardType::kList: {
      const auto count = readSize();
      // Every element takes at least one byte.
      if (!count || *count > remaining()) return std::nullopt;
      ValueList list;
      list.reserve(*count);
      for (std::size_t i = 0; i < *count; ++i) {
        auto element = readValueAt(depth + 1);
        if (!element) return std::nullopt;
        list.push_back(std::move(*element));
      }
      return Value(std::move(list));
    }
    case StandardType::kMap: {
      const auto count = readSize();
      // Every entry takes at least two bytes.
      if (!count || *count > remaining() / 2) return std::nullopt;
      ValueMap map;
      map.reserve(*count);
      for (std::size_t i = 0; i < *count; ++i) {
        auto key = readValueAt(depth + 1);
        if (!key) return std::nullopt;
        auto element = readValueAt(depth + 1);
        if (!element) return std::nullopt;
        map.emplace_back(std::move(*key), std::move(*element));
      }
      return Value(std::move(map));
    }
  }
  return std::nullopt;  // unknown type byte
}

}  // namespace corvane::host
