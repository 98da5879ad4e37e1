#include "host/value.h"

namespace corvane::host {

const Value* findTextKey(const ValueMap& map, std::string_view key) {
  for (const auto& [k, v] : map) {
    if (const auto* text = k.getIf<std::string>(); text != nullptr && *text == key) return &v;
  }
  return nullptr;
}

}  // namespace corvane::host
