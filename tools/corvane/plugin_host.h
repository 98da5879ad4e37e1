#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/embedded_engine.h"
#include "host/method_call.h"
#include "host/method_codec.h"
#include "shell/environment.h"

namespace corvane::tool {

// The command's host: an embedded engine with the plug-in's shared library loaded and registered
// through its registration entry. Every answer the command gives comes through the channel.
class PluginHost {
 public:
  // Loads the library and registers the plug-in, lending it the services set in `lent`; on
  // failure, says why in `error`.
  static std::unique_ptr<PluginHost> start(const shell::Environment& lent, std::string& error);
  ~PluginHost();

  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Sends one call on "corvane" and waits for its reply. With `trace`, writes the request's and
  // the reply's bytes to standard error.
  host::MethodReply call(const host::FlutterMethodCall& call, bool trace = false) const;

  double versionNumber() const { return versionNumber_; }
  const std::string& versionString() const { return versionString_; }

 private:
  PluginHost() = default;

  void* library_ = nullptr;  // dlopen handle; never closed
  std::shared_ptr<host::EmbeddedEngine> engine_;
  double versionNumber_ = 0;
  std::string versionString_;
};

// Where the plug-in's shared library is: beside the executable, or in ../lib.
std::string pluginLibraryPath();

}  // namespace corvane::tool
