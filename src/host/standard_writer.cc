#include "host/standard_writer.h"

#include <bit>
#include <limits>
#include <type_traits>

#include "host/standard_types.h"

namespace corvane::host {
namespace {

template <typename T>
void appendLittleEndian(Bytes& out, T value) {
  static_assert(std::endian::native == std::endian::little, "the encoding is little-endian");
  const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
  out.insert(out.end(), p, p + sizeof(T));
}

}  // namespace

bool StandardWriter::writeSize(std::size_t size) {
  if (size < kSizeIn16Bits) {
    writeByte(static_cast<std::uint8_t>(size));
  } else if (size <= std::numeric_limits<std::uint16_t>::max()) {
    writeByte(kSizeIn16Bits);
    appendLittleEndian(out_, static_cast<std::uint16_t>(size));
  } else if (size <= std::numeric_limits<std::uint32_t>::max()) {
    writeByte(kSizeIn32Bits);
    appendLittleEndian(out_, static_cast<std::uint32_t>(size));
  } else {
    return false;
  }
  return true;
}

void StandardWriter::alignTo(std::size_t alignment) {
  const std::size_t mod = out_.size() % alignment;
  if (mod != 0) out_.insert(out_.end(), alignment - mod, 0);
}

void StandardWriter::writeRaw(const void* data, std::size_t length) {
  if (length == 0) return;
  const auto* p = static_cast<const std::uint8_t*>(data);
  out_.insert(out_.end(), p, p + length);
}

template <typename List>
bool StandardWriter::writeTypedList(std::uint8_t type, const List& list) {
  using Element = typename List::value_type;
  writeByte(type);
  if (!writeSize(list.size())) return false;
  alignTo(sizeof(Element));
  writeRaw(list.data(), list.size() * sizeof(Element));
  return true;
}

bool StandardWriter::writeValue(const Value& value) {
  using T = StandardType;
  const auto type = [](T t) { return static_cast<std::uint8_t>(t); };
  return std::visit(
      [&](const auto& v) -> bool {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>) {
          writeByte(type(T::kNull));
        } else if constexpr (std::is_same_v<V, bool>) {
          writeByte(type(v ? T::kTrue : T::kFalse));
        } else if constexpr (std::is_same_v<V, std::int32_t>) {
          writeByte(type(T::kInt32));
          appendLittleEndian(out_, v);
        } else if constexpr (std::is_same_v<V, std::int64_t>) {
          writeByte(type(T::kInt64));
          appendLittleEndian(out_, v);
        } else if constexpr (std::is_same_v<V, double>) {
          writeByte(type(T::kFloat64));
          alignTo(8);
          appendLittleEndian(out_, v);
        } else if constexpr (std::is_same_v<V, std::string>) {
          writeByte(type(T::kString));
          if (!writeSize(v.size())) return false;
          writeRaw(v.data(), v.size());
        } else if constexpr (std::is_same_v<V, ByteList>) {
          return writeTypedList(type(T::kUint8List), v);
        } else if constexpr (std::is_same_v<V, Int32List>) {
          return writeTypedList(type(T::kInt32List), v);
        } else if constexpr (std::is_same_v<V, Int64List>) {
          return writeTypedList(type(T::kInt64List), v);
        } else if constexpr (std::is_same_v<V, Float32List>) {
          return writeTypedList(type(T::kFloat32List), v);
        } else if constexpr (std::is_same_v<V, Float64List>) {
          return writeTypedList(type(T::kFloat64List), v);
        } else if constexpr (std::is_same_v<V, ValueList>) {
          writeByte(type(T::kList));
          if (!writeSize(v.size())) return false;
          for (const auto& element : v) {
            if (!writeValue(element)) return false;
          }
        } else {
          static_assert(std::is_same_v<V, ValueMap>);
          writeByte(type(T::kMap));
          if (!writeSize(v.size())) return false;
          for (const auto& [key, element] : v) {
            if (!writeValue(key) || !writeValue(element)) return false;
          }
        }
        return true;
      },
      value.storage);
}

}  // namespace corvane::host
