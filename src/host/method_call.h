#pragma once

#include <string>

#include "host/value.h"

namespace corvane::host {

// A call on a method channel: the method's name and its argument (null when it has none).
struct FlutterMethodCall {
  std::string method;
  Value arguments;

  friend bool operator==(const FlutterMethodCall&, const FlutterMethodCall&) = default;
};

}  // namespace corvane::host
