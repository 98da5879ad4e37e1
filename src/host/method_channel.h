#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/binary_messenger.h"
#include "host/method_call.h"
#include "host/method_codec.h"
#include "host/method_result.h"

namespace corvane::host {

using FlutterMethodCallHandler = std::function<void(const FlutterMethodCall& call, FlutterResult result)>;
using FlutterReplyHandler = std::function<void(MethodReply reply)>;

// A named channel of method calls over a binary messenger, in the given codec (which must
// outlive the channel). The channel does not keep its messenger alive: the registrar owns it,
// and a call sent after the host has let go of the plug-in gets an error reply.
class FlutterMethodChannel {
 public:
  static std::shared_ptr<FlutterMethodChannel> methodChannelWithName(
      std::string name, const std::shared_ptr<FlutterBinaryMessenger>& messenger, const FlutterMethodCodec& codec);

  FlutterMethodChannel(std::string name, const std::shared_ptr<FlutterBinaryMessenger>& messenger,
                       const FlutterMethodCodec& codec);

  const std::string& name() const { return name_; }
  // Installs the receiver of calls on this channel; each call comes with its one-shot result.
  void setMethodCallHandler(FlutterMethodCallHandler handler);
  // Sends a call; the decoded reply comes once (a malformed or undeliverable one as an error).
  void invokeMethod(const FlutterMethodCall& call, FlutterReplyHandler reply) const;

 private:
  std::string name_;
  std::weak_ptr<FlutterBinaryMessenger> messenger_;
  const FlutterMethodCodec* codec_;
};

}  // namespace corvane::host
