#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/plugin.h"
#include "host/plugin_registrar.h"
#include "shell/environment.h"

namespace corvane::shell {

// The plug-in: answers the calls of the channel "corvane". Create it with std::make_shared (as
// registration does), so that asynchronous work can hold it weakly.
class CorvanePlugin final : public host::FlutterPlugin, public std::enable_shared_from_this<CorvanePlugin> {
 public:
  static constexpr std::string_view kChannelName = "corvane";

  static void registerWithRegistrar(host::FlutterPluginRegistrar& registrar);

  explicit CorvanePlugin(Environment environment = Environment::defaults());

  // The largest file size hashed whole by the fingerprint, and the length of each sample.
  const std::uint64_t fileDeli;
  const std::uint64_t fileReadSize;

  void handle(const host::FlutterMethodCall& call, host::FlutterResult result) override;

 private:
  Environment environment_;
};

}  // namespace corvane::shell
