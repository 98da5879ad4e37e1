#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/binary_messenger.h"
#include "host/plugin_registrar.h"

namespace corvane::host {

using ServiceMap = std::map<std::string, std::shared_ptr<void>, std::less<>>;

// An in-process host engine: the messenger for its channels and the registrar for any number of
// plug-ins. Each message is delivered on the sending thread; replies are accepted from any
// thread, at any time. All of it is safe to use from several threads at once.
class EmbeddedEngine final : public FlutterBinaryMessenger, public std::enable_shared_from_this<EmbeddedEngine> {
 public:
  using FaultSink = std::function<void(std::string_view channel, std::string_view problem)>;

  struct Options {
    ServiceMap services;  // lent to every plug-in registered here
    FaultSink faultSink;  // where answer-once faults are told; standard error when empty
  };

  static std::shared_ptr<EmbeddedEngine> create(Options options = {});
  explicit EmbeddedEngine(Options options);
  ~EmbeddedEngine() override;

  // A new registrar for one plug-in; the engine keeps it, and what it registers, alive.
  std::shared_ptr<FlutterPluginRegistrar> registrarForPlugin(std::string_view pluginKey);

  void sendOnChannel(std::string_view channel, const Bytes& message, BinaryReply reply) override;
  void setMessageHandlerOnChannel(std::string_view channel, BinaryMessageHandler handler) override;
  void reportAnswerFault(std::string_view channel, std::string_view problem) override;

  // Sends a message and waits for its reply.
  Bytes sendAndWait(std::string_view channel, const Bytes& message);

  std::size_t answerFaults() const { return faults_.load(); }
  std::shared_ptr<void> lookupService(std::string_view name) const;

 private:
  const ServiceMap services_;
  const FaultSink faultSink_;
  std::atomic<std::size_t> faults_{0};

  mutable std::shared_mutex handlersMutex_;
  std::map<std::string, std::shared_ptr<const BinaryMessageHandler>, std::less<>> handlers_;

  std::mutex registrarsMutex_;
  std::vector<std::shared_ptr<FlutterPluginRegistrar>> registrars_;
};

}  // namespace corvane::host
