#include "plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "host/standard_method_codec.h"
#include "platform/hex.h"

namespace corvane::tool {
namespace {

using RegisterEntry = void (*)(host::FlutterPluginRegistrar*);

void traceLine(char direction, const host::Bytes& bytes) {
  const std::string line = std::string(1, direction) + " " + platform::hexText(bytes) + "\n";
  [[maybe_unused]] const auto n = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

std::string pluginLibraryPath() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "libcorvane.so";
  const auto dir = self.parent_path();
  for (const auto& candidate : {dir / "libcorvane.so", dir / ".." / "lib" / "libcorvane.so"}) {
    if (std::filesystem::exists(candidate, ec)) return candidate.string();
  }
  return (dir / "libcorvane.so").string();
}

std::unique_ptr<PluginHost> PluginHost::start(const shell::Environment& lent, std::string& error) {
  std::unique_ptr<PluginHost> host(new PluginHost());
  const std::string path = pluginLibraryPath();
  host->library_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (host->library_ == nullptr) {
    const char* why = ::dlerror();
    error = "cannot load the plug-in library " + path + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  const auto entry = reinterpret_cast<RegisterEntry>(::dlsym(host->library_, "CorvanePluginRegisterWithRegistrar"));
  const auto* number = static_cast<const double*>(::dlsym(host->library_, "corvaneVersionNumber"));
  const auto* text = static_cast<const char*>(::dlsym(host->library_, "corvaneVersionString"));
  if (entry == nullptr || number == nullptr || text == nullptr) {
    error = "the plug-in library " + path + " lacks its registration entry or version symbols";
    return nullptr;
  }
  host->versionNumber_ = *number;
  host->versionString_ = text;

  host->engine_ = host::EmbeddedEngine::create({lent.services(), nullptr});
  entry(host->engine_->registrarForPlugin("CorvanePlugin").get());
  return host;
}

PluginHost::~PluginHost() {
  // The engine holds the plug-in's objects; they go with it. The library itself stays loaded,
  // as hosts keep their plug-ins: a photo library's thread may still be finishing a handler of
  // the plug-in's code after its answer has arrived.
  engine_.reset();
}

host::MethodReply PluginHost::call(const host::FlutterMethodCall& call, bool trace) const {
  const auto& codec = host::FlutterStandardMethodCodec::sharedInstance();
  const auto message = codec.encodeMethodCall(call);
  if (!message) return host::FlutterError{"unsendable", "the call is too large to send", {}};
  if (trace) traceLine('>', *message);
  const auto reply = engine_->sendAndWait("corvane", *message);
  if (trace) traceLine('<', reply);
  auto decoded = codec.decodeEnvelope(reply);
  if (!decoded) return host::FlutterError{"malformed-reply", "the reply is not an envelope", {}};
  return std::move(*decoded);
}

}  // namespace corvane::tool
