#include "host/value.h"

namespace corvane::host {

const Value* findTextKey(const ValueMap& map, std::string_view key) {
  // A key written twice holds its last value, as in the dictionaries the codec decodes into.
  for (auto it = map.rbegin(); it != map.rend(); ++it) {
    if (const auto* text = it->first.getIf<std::string>(); text != nullptr && *text == key) return &it->second;
  }
  return nullptr;
}

}  // namespace corvane::host
