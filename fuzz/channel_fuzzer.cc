// Whole channel messages handed to the plug-in through the embedded engine, with a scripted
// photo library: whatever the bytes, exactly one reply comes, and nothing crashes. Paths that
// file methods receive are kept inside a sandbox folder, so that no run reads the whole machine.
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/embedded_engine.h"
#include "host/plugin_registrar.h"
#include "host/standard_method_codec.h"
#include "shell/corvane_plugin.h"
#include "support/scripted_library.h"

using namespace corvane;

namespace {

struct Fixture {
  std::string sandbox;
  std::shared_ptr<testing::ScriptedLibrary> library = std::make_shared<testing::ScriptedLibrary>();
  std::unique_ptr<host::EmbeddedEngine> engine;
  std::atomic<int> faults{0};

  Fixture() {
    char pattern[] = "/tmp/corvane-fuzz-XXXXXX";
    sandbox = ::mkdtemp(pattern);
    std::ofstream(sandbox + "/small") << "abc";
    std::ofstream(sandbox + "/large") << std::string(200'000, 'x');
    std::filesystem::create_directory(sandbox + "/folder");
    using photo_library::MediaType;
    library->albums = {"A", "B"};
    library->assets["img"] = {MediaType::kImage, {"A"}, {"r1"}};
    library->assets["vid"] = {MediaType::kVideo, {"A", "B"}, {"r1", "r2"}};
    library->assets["bare"] = {MediaType::kVideo, {}, {}};
    library->videos["vid"] = std::make_shared<photo_library::AVURLAsset>("file://" + sandbox + "/large");
    library->data["r1"] = {{"chunk one", "", "chunk two"}, std::nullopt};
    library->data["r2"] = {{"partial"}, photo_library::LibraryError{5, "I/O"}};

    engine = host::EmbeddedEngine::create({[this](std::string_view, std::string_view) { ++faults; }});
    shell::CorvanePlugin::registerWithRegistrar(
        *host::FlutterPluginRegistrar::attach(engine->registrarForPlugin()),
        {std::make_shared<platform::SilentConsole>(), nullptr, library, nullptr, nullptr});
  }
  ~Fixture() { std::filesystem::remove_all(sandbox); }
};

// A file method's path, moved below the sandbox.
host::Bytes confined(const host::Bytes& message, const std::string& sandbox) {
  const auto& codec = host::FlutterStandardMethodCodec::sharedInstance();
  auto call = codec.decodeMethodCall(message);
  if (!call || (call->method != "hashFile" && call->method != "fingerprintOfFile")) return message;
  const auto* path = call->arguments.getIf<std::string>();
  if (path == nullptr) return message;
  call->arguments = host::Value(sandbox + "/" + *path);
  return codec.encodeMethodCall(*call).value_or(message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  const auto message = confined(host::Bytes(data, data + size), fixture.sandbox);
  int replies = 0;
  fixture.engine->sendOnChannel("corvane", message, [&replies](host::Bytes) { ++replies; });
  fixture.library->runPending();
  if (replies != 1 || fixture.faults != 0) std::abort();
  return 0;
}
