#include "json_value.h"

#include <limits>

namespace corvane::tool {
namespace {

using Json = nlohmann::ordered_json;

host::Value fromJson(const Json& json) {
  switch (json.type()) {
    case Json::value_t::null:
      return host::Value{};
    case Json::value_t::boolean:
      return host::Value(json.get<bool>());
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
    case Json::value_t::number_float:
      return host::Value(json.get<double>());
    case Json::value_t::string:
      return host::Value(json.get<std::string>());
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
    default:
      return host::Value{};
  }
}

template <typename List>
Json listJson(const List& list) {
  Json array = Json::array();
  for (const auto& element : list) array.push_back(element);
  return array;
}

}  // namespace

host::Value argumentValue(const std::string& text) {
  auto json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return host::Value(text);
  return fromJson(json);
}

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
