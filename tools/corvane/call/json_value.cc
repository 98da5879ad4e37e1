#include "call/json_value.h"

#include <algorithm>
#include <limits>

#include "host/standard_reader.h"

namespace corvane::tool {
namespace {

using Json = nlohmann::ordered_json;

// Reads a text only to learn whether it is JSON and how deep it nests; keeps nothing, and the
// parser underneath does not recurse, so any depth is safe to measure.
struct DepthProbe {
  std::size_t depth = 0, deepest = 0;

  bool open() {
    deepest = std::max(deepest, ++depth);
    return true;
  }
  bool close() {
    --depth;
    return true;
  }
  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(Json::number_integer_t) { return true; }
  bool number_unsigned(Json::number_unsigned_t) { return true; }
  bool number_float(Json::number_float_t, const std::string&) { return true; }
  bool string(std::string&) { return true; }
  bool binary(Json::binary_t&) { return true; }
  bool start_object(std::size_t) { return open(); }
  bool key(std::string&) { return true; }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(); }
  bool end_array() { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }
};

host::Value fromJson(const Json& json) {
  switch (json.type()) {
    case Json::value_t::null: return host::Value{};
    case Json::value_t::boolean: return host::Value(json.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      if (json.is_number_unsigned() && json.get<std::uint64_t>() > std::numeric_limits<std::int64_t>::max()) {
        return host::Value(json.get<double>());
      }
      const auto n = json.get<std::int64_t>();
      if (n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max()) {
        return host::Value(static_cast<std::int32_t>(n));
      }
      return host::Value(n);
    }
    case Json::value_t::number_float: return host::Value(json.get<double>());
    case Json::value_t::string: return host::Value(json.get<std::string>());
    case Json::value_t::array: {
      host::ValueList list;
      for (const auto& element : json) list.push_back(fromJson(element));
      return host::Value(std::move(list));
    }
    case Json::value_t::object: {
      host::ValueMap map;
      for (const auto& [key, element] : json.items()) map.emplace_back(host::Value(key), fromJson(element));
      return host::Value(std::move(map));
    }
    default: return host::Value{};
  }
}

template <typename List>
Json listJson(const List& list) {
  Json array = Json::array();
  for (const auto& element : list) array.push_back(element);
  return array;
}

}  // namespace

std::optional<host::Value> argumentValue(const std::string& text) {
  DepthProbe probe;
  if (!Json::sax_parse(text, &probe)) return host::Value(text);
  // The channel refuses deeper values; refusing them here also keeps the recursive conversion
  // (and the value's own destruction) to a bounded depth.
  if (probe.deepest > static_cast<std::size_t>(host::StandardReader::kMaxDepth)) return std::nullopt;
  return fromJson(Json::parse(text));
}

// Answers come decoded by the channel, which refuses nesting deeper than its limit, so this
// recursion is bounded.
Json toJson(const host::Value& value) {
  return std::visit(
      [](const auto& v) -> Json {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<V, host::ValueList>) {
          Json array = Json::array();
          for (const auto& element : v) array.push_back(toJson(element));
          return array;
        } else if constexpr (std::is_same_v<V, host::ValueMap>) {
          Json object = Json::object();
          for (const auto& [key, element] : v) {
            const auto* text = std::get_if<std::string>(&key.storage);
            object[text ? *text : toJson(key).dump()] = toJson(element);
          }
          return object;
        } else if constexpr (std::is_same_v<V, std::string> || std::is_arithmetic_v<V>) {
          return v;
        } else {
          return listJson(v);
        }
      },
      value.storage);
}

}  // namespace corvane::tool
