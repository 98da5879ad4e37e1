#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::host {

using Bytes = std::vector<std::uint8_t>;

// A reply to a binary message: the reply's bytes, or none (an empty reply).
using BinaryReply = std::function<void(Bytes reply)>;
using BinaryMessageHandler = std::function<void(const Bytes& message, BinaryReply reply)>;

// Carries binary messages on named channels between the app and its plug-ins.
class FlutterBinaryMessenger {
 public:
  virtual ~FlutterBinaryMessenger() = default;

  // Sends a message; the reply comes once, possibly later and on another thread.
  virtual void sendOnChannel(std::string_view channel, const Bytes& message, BinaryReply reply) = 0;
  // Installs (or, with an empty handler, removes) the receiver of a channel's messages.
  virtual void setMessageHandlerOnChannel(std::string_view channel, BinaryMessageHandler handler) = 0;
  // Tells the host that a plug-in broke the answer-once rule on a channel.
  virtual void reportAnswerFault(std::string_view channel, std::string_view problem) = 0;
};

}  // namespace corvane::host
