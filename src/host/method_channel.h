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

// A named channel of method calls over a binary messenger. The channel does not keep its
// messenger alive: the host owns both, and a late answer after the host is gone goes nowhere.
// A plug-in library creates channels that its host then uses, so the operations are virtual:
// each side runs the code of the side that made the channel.
class FlutterMethodChannel {
 public:
  static std::shared_ptr<FlutterMethodChannel> methodChannelWithName(
      std::string name, const std::shared_ptr<FlutterBinaryMessenger>& messenger,
      const FlutterMethodCodec& codec = defaultCodec());

  FlutterMethodChannel(std::string name, const std::shared_ptr<FlutterBinaryMessenger>& messenger,
                       const FlutterMethodCodec& codec);
  virtual ~FlutterMethodChannel() = default;

  virtual std::string name() const { return name_; }
  // Installs the receiver of calls on this channel; each call comes with its one-shot result.
  virtual void setMethodCallHandler(FlutterMethodCallHandler handler);
  // Sends a call; the decoded reply comes once (a malformed reply arrives as an error).
  virtual void invokeMethod(const FlutterMethodCall& call, FlutterReplyHandler reply) const;

 private:
  static const FlutterMethodCodec& defaultCodec();

  std::string name_;
  std::weak_ptr<FlutterBinaryMessenger> messenger_;
  const FlutterMethodCodec* codec_;
};

}  // namespace corvane::host
