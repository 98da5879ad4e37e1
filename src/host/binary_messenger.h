#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "corvane/corvane.h"
#include "host/bytes.h"

namespace corvane::host {

// A reply to a binary message: the reply's bytes, or none (an empty reply). Called once.
using BinaryReply = std::function<void(Bytes reply)>;
using BinaryMessageHandler = std::function<void(const Bytes& message, BinaryReply reply)>;

// The host's messenger as a plug-in reaches it: through the C functions the host filled in.
// Safe to use from several threads at once.
class FlutterBinaryMessenger {
 public:
  // Keeps a copy of the host's functions; the host's struct may go once this returns.
  explicit FlutterBinaryMessenger(const CorvaneMessenger& messenger);
  // After this, no fault is reported any more (the host may be gone); replies still pending
  // keep the functions they need.
  ~FlutterBinaryMessenger();
  FlutterBinaryMessenger(const FlutterBinaryMessenger&) = delete;
  FlutterBinaryMessenger& operator=(const FlutterBinaryMessenger&) = delete;

  // True when the host has the functions every messenger needs.
  static bool usable(const CorvaneMessenger& messenger);

  // Sends a message; the reply comes once, possibly later and on another thread. False, and no
  // reply, when the host takes no messages from plug-ins.
  bool sendOnChannel(std::string_view channel, const Bytes& message, BinaryReply reply) const;
  // Installs (or, with an empty handler, removes) the receiver of a channel's messages.
  void setMessageHandlerOnChannel(std::string_view channel, BinaryMessageHandler handler);
  // Tells the host that the plug-in broke the answer-once rule on a channel.
  void reportAnswerFault(std::string_view channel, std::string_view problem) const;

 private:
  struct Host;
  struct Receiver;

  std::shared_ptr<Host> host_;
  std::mutex mutex_;
  // Every receiver ever installed: the host may still be delivering to one it was told to drop,
  // so each lives as long as the messenger.
  std::vector<std::unique_ptr<Receiver>> receivers_;
};

}  // namespace corvane::host
