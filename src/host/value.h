#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace corvane::host {

struct Value;

using ByteList = std::vector<std::uint8_t>;
using Int32List = std::vector<std::int32_t>;
using Int64List = std::vector<std::int64_t>;
using Float32List = std::vector<float>;
using Float64List = std::vector<double>;
using ValueList = std::vector<Value>;
// Maps keep their entries in the order written; keys may be of any kind.
using ValueMap = std::vector<std::pair<Value, Value>>;

// One value as the standard codec carries it. std::monostate is null.
struct Value {
  using Storage = std::variant<std::monostate, bool, std::int32_t, std::int64_t, double, std::string, ByteList,
                               Int32List, Int64List, Float32List, Float64List, ValueList, ValueMap>;
  Storage storage;

  Value() = default;
  template <typename T>
  requires std::is_constructible_v<Storage, T&&> &&
      (!std::is_same_v<std::decay_t<T>, Value>)&&(!std::is_same_v<std::decay_t<T>, const char*>)Value(T&& v)
      : storage(std::forward<T>(v)) {}                     // NOLINT: implicit by design, like the codec's types
  Value(const char* text) : storage(std::string(text)) {}  // NOLINT

  bool isNull() const { return std::holds_alternative<std::monostate>(storage); }
  template <typename T>
  const T* getIf() const {
    return std::get_if<T>(&storage);
  }

  friend bool operator==(const Value&, const Value&) = default;
};

// Looks up a text key in a map value; null when the map has no such entry.
const Value* findTextKey(const ValueMap& map, std::string_view key);

}  // namespace corvane::host
