#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "corvane/corvane.h"
#include "host/binary_messenger.h"
#include "host/method_channel.h"
#include "host/plugin.h"

namespace corvane::host {

// The host's registrar as a plug-in sees it. attach() makes one for a registrar that a host
// handed over through the C boundary; it lives until the host calls the destruction handler it
// sets, and keeps what is registered with it alive until then.
class FlutterPluginRegistrar {
  struct Attached {
    explicit Attached() = default;
  };

 public:
  // The registrar for `registrar`, owned by the host's destruction handler; none when the host
  // left out something every plug-in needs (a messenger, set_callback, send_response or
  // set_destruction_handler).
  static FlutterPluginRegistrar* attach(CorvanePluginRegistrarRef registrar);
  // Made by attach() only.
  FlutterPluginRegistrar(const CorvaneMessenger& messenger, Attached);
  // Releases the delegates and channels, then runs the destruction tasks, in the order added.
  ~FlutterPluginRegistrar();
  FlutterPluginRegistrar(const FlutterPluginRegistrar&) = delete;
  FlutterPluginRegistrar& operator=(const FlutterPluginRegistrar&) = delete;

  const std::shared_ptr<FlutterBinaryMessenger>& messenger() const { return messenger_; }
  // Delivers the channel's calls to the delegate; the registrar keeps both alive.
  void addMethodCallDelegate(std::shared_ptr<FlutterPlugin> delegate, std::shared_ptr<FlutterMethodChannel> channel);
  // Runs `task` when the host releases the registrar, once the delegates are gone.
  void addDestructionTask(std::function<void()> task);

 private:
  std::shared_ptr<FlutterBinaryMessenger> messenger_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<FlutterMethodChannel>> channels_;
  std::vector<std::function<void()>> destructionTasks_;
};

}  // namespace corvane::host
