#pragma once

#include <variant>

#include "host/value.h"

namespace corvane::host {

// The marker by which a plug-in says that its channel has no such method. No Value equals it.
struct MethodNotImplemented {
  friend bool operator==(MethodNotImplemented, MethodNotImplemented) = default;
};
inline constexpr MethodNotImplemented FlutterMethodNotImplemented{};

// What a plug-in hands to a result callback.
using MethodAnswer = std::variant<Value, MethodNotImplemented>;

inline bool isNotImplemented(const MethodAnswer& answer) {
  return std::holds_alternative<MethodNotImplemented>(answer);
}

}  // namespace corvane::host
