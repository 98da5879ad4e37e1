#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

#include "corvane/corvane.h"
#include "host/bytes.h"

namespace corvane::host {

// An in-process host engine: it implements the C registrar and messenger that plug-ins are
// registered with, and is the app's end of their channels. Each message is delivered on the
// sending thread; replies are accepted from any thread, at any time, also after the engine is
// gone. All of it is safe to use from several threads at once.
class EmbeddedEngine {
 public:
  using Reply = std::function<void(Bytes reply)>;
  using FaultSink = std::function<void(std::string_view channel, std::string_view problem)>;

  struct Options {
    FaultSink faultSink;  // where answer-once faults are told; standard error when empty
  };

  static std::unique_ptr<EmbeddedEngine> create(Options options = {});
  explicit EmbeddedEngine(Options options);
  // Stops delivering, then calls every plug-in's destruction handler, newest first. Must not
  // run while a message is being sent.
  ~EmbeddedEngine();
  EmbeddedEngine(const EmbeddedEngine&) = delete;
  EmbeddedEngine& operator=(const EmbeddedEngine&) = delete;

  // A registrar for one plug-in, lending it what `lent` holds (copied, texts and structs; the
  // functions and user data in them must stay callable while the plug-in is registered). The
  // engine keeps the registrar until it goes.
  CorvanePluginRegistrarRef registrarForPlugin(const CorvaneLentServices* lent = nullptr);

  // Sends a message as the app. The reply comes once, possibly later and on another thread;
  // empty when nobody listens on the channel.
  void sendOnChannel(std::string_view channel, const Bytes& message, Reply reply);
  // Sends a message and waits for its reply.
  Bytes sendAndWait(std::string_view channel, const Bytes& message);

  // How often plug-ins reported breaking the answer-once rule.
  std::size_t answerFaults() const;

 private:
  struct Core;
  std::shared_ptr<Core> core_;
};

}  // namespace corvane::host
