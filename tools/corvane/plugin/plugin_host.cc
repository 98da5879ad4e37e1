#include "plugin/plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include "host/lent_services.h"
#include "host/standard_method_codec.h"
#include "platform/hex.h"
#include "plugin/plugin_library.h"

namespace corvane::tool {
namespace {

void traceLine(char direction, const host::Bytes& bytes) {
  const std::string line = std::string(1, direction) + " " + platform::hexText(bytes) + "\n";
  [[maybe_unused]] const auto n = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

// The lent objects and the C structs that lead to them.
struct PluginHost::Lent {
  explicit Lent(const LentServices& lent) : services(lent) {
    structs.struct_size = sizeof structs;
    if (services.console) {
      console = host::lendConsole(*services.console);
      structs.console = &console;
    }
    if (services.libraryLocation) structs.photo_library_path = services.libraryLocation->c_str();
    if (services.fileObserver) {
      observer = host::lendFileObserver(*services.fileObserver);
      structs.file_observer = &observer;
    }
    if (services.files) {
      opener = host::lendFileOpener(*services.files);
      structs.file_opener = &opener;
    }
  }
  Lent(const Lent&) = delete;
  Lent& operator=(const Lent&) = delete;

  const LentServices services;
  CorvaneConsole console{};
  CorvaneFileObserver observer{};
  CorvaneFileOpener opener{};
  CorvaneLentServices structs{};
};

PluginHost::PluginHost() = default;

Result<std::unique_ptr<PluginHost>> PluginHost::start(platform::FileSystem& fileSystem,
                                                      const std::optional<std::string>& library,
                                                      const LentServices& lent) {
  const auto search = findPluginLibrary(fileSystem, library);
  if (!search.found) return failure(notFoundMessage(search));
  const std::string& path = *search.found;
  std::unique_ptr<PluginHost> host(new PluginHost());
  host->library_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (host->library_ == nullptr) {
    const char* why = ::dlerror();
    return failure(Error{"cannot load the plug-in library " + path, why ? why : "unknown error"});
  }
  const auto entry = reinterpret_cast<decltype(&CorvanePluginRegisterWithRegistrar)>(
      ::dlsym(host->library_, "CorvanePluginRegisterWithRegistrar"));
  const auto* number = static_cast<const double*>(::dlsym(host->library_, "corvaneVersionNumber"));
  const auto* text = static_cast<const char*>(::dlsym(host->library_, "corvaneVersionString"));
  if (entry == nullptr || number == nullptr || text == nullptr) {
    return failure("the plug-in library " + path + " lacks its registration entry or version symbols");
  }
  host->libraryPath_ = path;
  host->versionNumber_ = *number;
  host->versionString_ = text;

  host->lent_ = std::make_unique<Lent>(lent);
  host->engine_ = host::EmbeddedEngine::create();
  entry(host->engine_->registrarForPlugin(&host->lent_->structs));
  return host;
}

PluginHost::~PluginHost() {
  // The plug-in's objects go with the engine, before what they were lent. The library itself
  // stays loaded, as hosts keep their plug-ins.
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
