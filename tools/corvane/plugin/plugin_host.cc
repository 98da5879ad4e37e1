#include "plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include "host/host_struct.h"
#include "host/standard_method_codec.h"
#include "platform/hex.h"
#include "plugin_library.h"

namespace corvane::tool {
namespace {

void traceLine(char direction, const host::Bytes& bytes) {
  const std::string line = std::string(1, direction) + " " + platform::hexText(bytes) + "\n";
  [[maybe_unused]] const auto n = ::write(STDERR_FILENO, line.data(), line.size());
}

platform::FileType fileType(std::int32_t code) {
  switch (code) {
    case CORVANE_FILE_REGULAR: return platform::FileType::kRegular;
    case CORVANE_FILE_DIRECTORY: return platform::FileType::kDirectory;
    case CORVANE_FILE_SYMBOLIC_LINK: return platform::FileType::kSymbolicLink;
    case CORVANE_FILE_FIFO: return platform::FileType::kFifo;
    case CORVANE_FILE_SOCKET: return platform::FileType::kSocket;
    case CORVANE_FILE_DEVICE: return platform::FileType::kDevice;
    default: return platform::FileType::kUnknown;
  }
}

platform::FileError::Reason errorReason(std::int32_t code) {
  switch (code) {
    case CORVANE_FILE_ERROR_NOT_REGULAR: return platform::FileError::Reason::kNotRegular;
    case CORVANE_FILE_ERROR_CHANGED: return platform::FileError::Reason::kChanged;
    case CORVANE_FILE_ERROR_PSEUDO_FILE: return platform::FileError::Reason::kPseudoFile;
    default: return platform::FileError::Reason::kSystem;
  }
}

// Texts come as pointer and length; an empty one may come as a null pointer.
std::string_view textOf(const char* text, std::size_t length) {
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

// The plug-in calls these through C: nothing may escape.
void printLine(void* console, const char* text, std::size_t length) noexcept {
  try {
    static_cast<platform::Console*>(console)->printLine(textOf(text, length));
  } catch (...) {
  }
}

void fileRead(void* observer, const char* path, std::size_t length, const CorvaneFileStatus* lent) noexcept {
  const auto s = host::copyOfHostStruct(lent);
  if (!s) return;
  const platform::FileStatus status{fileType(s->type), s->size,        s->device,    s->inode,
                                    s->links,          s->modified_ns, s->changed_ns};
  try {
    static_cast<platform::FileObserver*>(observer)->fileRead(textOf(path, length), status);
  } catch (...) {
  }
}

void fileFailed(void* observer, const char* path, std::size_t length, const CorvaneFileError* lent) noexcept {
  const auto e = host::copyOfHostStruct(lent);
  if (!e) return;
  try {
    const platform::FileError error{std::string(textOf(e->operation, e->operation_length)),
                                    std::string(textOf(path, length)), errorReason(e->reason), e->error_number};
    static_cast<platform::FileObserver*>(observer)->fileFailed(error.path, error);
  } catch (...) {
  }
}

}  // namespace

// The lent objects and the C structs that lead to them.
struct PluginHost::Lent {
  explicit Lent(const LentServices& lent) : services(lent) {
    structs.struct_size = sizeof structs;
    if (services.console) {
      console = {sizeof console, services.console.get(), &printLine};
      structs.console = &console;
    }
    if (services.libraryLocation) structs.photo_library_path = services.libraryLocation->c_str();
    if (services.fileObserver) {
      observer = {sizeof observer, services.fileObserver.get(), &fileRead, &fileFailed};
      structs.file_observer = &observer;
    }
  }
  Lent(const Lent&) = delete;
  Lent& operator=(const Lent&) = delete;

  const LentServices services;
  CorvaneConsole console{};
  CorvaneFileObserver observer{};
  CorvaneLentServices structs{};
};

PluginHost::PluginHost() = default;

std::unique_ptr<PluginHost> PluginHost::start(const std::optional<std::string>& library, const LentServices& lent,
                                              std::string& error) {
  const auto search = findPluginLibrary(*platform::posixFileSystem(), library);
  if (!search.found) {
    error = notFoundMessage(search);
    return nullptr;
  }
  const std::string& path = *search.found;
  std::unique_ptr<PluginHost> host(new PluginHost());
  host->library_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (host->library_ == nullptr) {
    const char* why = ::dlerror();
    error = "cannot load the plug-in library " + path + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  const auto entry = reinterpret_cast<decltype(&CorvanePluginRegisterWithRegistrar)>(
      ::dlsym(host->library_, "CorvanePluginRegisterWithRegistrar"));
  const auto* number = static_cast<const double*>(::dlsym(host->library_, "corvaneVersionNumber"));
  const auto* text = static_cast<const char*>(::dlsym(host->library_, "corvaneVersionString"));
  if (entry == nullptr || number == nullptr || text == nullptr) {
    error = "the plug-in library " + path + " lacks its registration entry or version symbols";
    return nullptr;
  }
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
