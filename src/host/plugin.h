#pragma once

#include "host/method_call.h"
#include "host/method_result.h"

namespace corvane::host {

// A plug-in that receives the method calls of the channels it is the delegate of.
class FlutterPlugin {
 public:
  virtual ~FlutterPlugin() = default;
  virtual void handle(const FlutterMethodCall& call, FlutterResult result) = 0;
};

}  // namespace corvane::host
