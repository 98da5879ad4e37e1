#include "shell/corvane_plugin.h"

#include <array>
#include <cerrno>
#include <new>
#include <utility>

#include "file_hashing/file_fingerprint.h"
#include "file_hashing/file_hash.h"
#include "host/host_struct.h"
#include "host/method_answer.h"
#include "host/standard_method_codec.h"
#include "shell/lent_services.h"

namespace corvane::shell {
namespace {

enum class Method {
  kPlatformVersion,
  kFingerprintOfVideoAsset,
  kFingerprintOfFile,
  kHashAsset,
  kHashFile,
  kAlbumQuery
};

// Compared in this order, exactly; the first equal name wins.
constexpr std::array<std::pair<std::string_view, Method>, 6> kMethodTable{{
    {"getPlatformVersion", Method::kPlatformVersion},
    {"fingerprintOfVideoAsset", Method::kFingerprintOfVideoAsset},
    {"fingerprintOfFile", Method::kFingerprintOfFile},
    {"hashAsset", Method::kHashAsset},
    {"hashFile", Method::kHashFile},
    {"getIfAssetExistInAlbum", Method::kAlbumQuery},
}};

host::Value optionalText(std::optional<std::string> text) {
  return text ? host::Value(std::move(*text)) : host::Value{};
}

// Memory ran out mid-operation: no digest, and whoever explains failures is told why.
std::optional<std::string> outOfMemory(std::string_view filePath, const file_hashing::FileContext& context) {
  try {
    context.failed(filePath, platform::FileError::system("read", filePath, ENOMEM));
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

std::optional<Method> lookUp(std::string_view name) {
  for (const auto& [tableName, method] : kMethodTable) {
    if (tableName == name) return method;
  }
  return std::nullopt;
}

}  // namespace

void CorvanePlugin::registerWithRegistrar(host::FlutterPluginRegistrar& registrar, Environment environment) {
  auto channel = host::FlutterMethodChannel::methodChannelWithName(std::string(kChannelName), registrar.messenger(),
                                                                   host::FlutterStandardMethodCodec::sharedInstance());
  auto plugin = std::make_shared<CorvanePlugin>(std::move(environment));
  registrar.addMethodCallDelegate(std::move(plugin), std::move(channel));
}

void CorvanePlugin::registerWithRegistrar(CorvanePluginRegistrarRef hostRegistrar) {
  auto* registrar = host::FlutterPluginRegistrar::attach(hostRegistrar);
  if (registrar == nullptr) return;
  auto lent = LentServices::from(host::copyOfHostStruct(hostRegistrar)->lent);
  if (auto library = std::move(lent.folderLibrary)) {
    // A host may unload the plug-in once its destruction handler has returned, so by then the
    // library's threads must have finished every handler of ours.
    registrar->addDestructionTask([library] { library->shutdownAndWait(); });
  }
  registerWithRegistrar(*registrar, std::move(lent.environment));
}

CorvanePlugin::CorvanePlugin(Environment environment)
    : fileDeli(CORVANE_FINGERPRINT_WHOLE_LIMIT),
      fileReadSize(CORVANE_FINGERPRINT_SAMPLE_LENGTH),
      environment_(std::move(environment).completed()) {}

void CorvanePlugin::handle(const host::FlutterMethodCall& call, host::FlutterResult result) {
  // Nothing may escape into the host: a failure that throws leaves `result` unanswered, and the
  // host answers nil for it once the last copy is gone.
  try {
    const auto method = lookUp(call.method);
    if (!method) {
      result(host::FlutterMethodNotImplemented);
      return;
    }
    // The four methods that take text answer nil for an argument of any other kind.
    const auto* text = call.arguments.getIf<std::string>();
    switch (*method) {
      case Method::kPlatformVersion: result(host::Value("iOS " + environment_.deviceInfo->systemVersion())); return;
      case Method::kFingerprintOfVideoAsset:
        if (text == nullptr) break;
        fingerprintOfVideoAsset(*text, std::move(result));
        return;
      case Method::kFingerprintOfFile:
        if (text == nullptr) break;
        result(optionalText(fingerprintOfFile(*text)));
        return;
      case Method::kHashAsset:
        if (text == nullptr) break;
        hashAsset(*text, std::move(result));
        return;
      case Method::kHashFile:
        if (text == nullptr) break;
        result(optionalText(hashFile(*text)));
        return;
      case Method::kAlbumQuery: getIfAssetExistInAlbum(call.arguments, std::move(result)); return;
    }
    result(host::Value{});
  } catch (...) {
  }
}

file_hashing::FileContext CorvanePlugin::fileContext() const {
  return {*environment_.fileSystem, *environment_.console, environment_.fileObserver.get()};
}

std::optional<std::string> CorvanePlugin::fingerprintOfFile(std::string_view filePath) const {
  const auto context = fileContext();
  try {
    return file_hashing::fingerprintOfFile(filePath, {fileDeli, fileReadSize}, context);
  } catch (const std::bad_alloc&) {
    return outOfMemory(filePath, context);
  }
}

std::optional<std::string> CorvanePlugin::hashFile(std::string_view filePath) const {
  const auto context = fileContext();
  try {
    return file_hashing::hashFile(filePath, context);
  } catch (const std::bad_alloc&) {
    return outOfMemory(filePath, context);
  }
}

}  // namespace corvane::shell
