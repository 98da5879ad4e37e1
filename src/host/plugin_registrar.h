#pragma once

#include <memory>
#include <string_view>

#include "host/binary_messenger.h"
#include "host/method_channel.h"
#include "host/plugin.h"

namespace corvane::host {

// What a host hands a plug-in at registration.
class FlutterPluginRegistrar {
 public:
  virtual ~FlutterPluginRegistrar() = default;

  virtual std::shared_ptr<FlutterBinaryMessenger> messenger() = 0;
  // Delivers the channel's calls to the delegate; the registrar keeps both alive.
  virtual void addMethodCallDelegate(std::shared_ptr<FlutterPlugin> delegate,
                                     std::shared_ptr<FlutterMethodChannel> channel) = 0;
  // A platform service that the host lends its plug-ins, by name; empty when it has none.
  // Each name stands for one agreed type, so the caller knows what it gets.
  virtual std::shared_ptr<void> lookupService(std::string_view name) const = 0;
};

}  // namespace corvane::host
