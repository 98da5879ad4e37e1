#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/error.h"
#include "host/embedded_engine.h"
#include "host/method_call.h"
#include "host/method_codec.h"
#include "platform/console.h"
#include "platform/file_observer.h"
#include "platform/file_system.h"

namespace corvane::tool {

// What the command lends the plug-in, as its own objects. They cross as the C structs a host
// lends, whose functions call back into these objects.
struct LentServices {
  std::shared_ptr<platform::Console> console;            // none: the plug-in's standard output
  std::optional<std::string> libraryLocation;            // the photo library's folder; none: empty
  std::shared_ptr<platform::FileObserver> fileObserver;  // none: nobody is told
  std::shared_ptr<platform::FileSystem> files;           // opens the file methods' paths; none: the plug-in does
};

// The command's host: an embedded engine with the plug-in's shared library loaded and registered
// through the C entry of its public header, the only way the command reaches the plug-in.
class PluginHost {
 public:
  // Loads the library (`library`, else where findPluginLibrary finds it) and registers the
  // plug-in, lending it `lent`.
  static Result<std::unique_ptr<PluginHost>> start(platform::FileSystem& fileSystem,
                                                   const std::optional<std::string>& library, const LentServices& lent);
  // Releases the plug-in's objects (its destruction handler waits for its library's threads).
  ~PluginHost();

  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Sends one call on "corvane" and waits for its reply. With `trace`, writes the request's and
  // the reply's bytes to standard error.
  host::MethodReply call(const host::FlutterMethodCall& call, bool trace) const;

  // The library loaded, as it was found.
  const std::string& libraryPath() const { return libraryPath_; }
  double versionNumber() const { return versionNumber_; }
  const std::string& versionString() const { return versionString_; }

 private:
  struct Lent;
  PluginHost();

  void* library_ = nullptr;  // dlopen handle; never closed, as hosts keep their plug-ins
  std::unique_ptr<Lent> lent_;
  std::unique_ptr<host::EmbeddedEngine> engine_;  // goes first: the plug-in calls into lent_
  std::string libraryPath_;
  double versionNumber_ = 0;
  std::string versionString_;
};

}  // namespace corvane::tool
