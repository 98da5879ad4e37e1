#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "host/embedded_engine.h"
#include "host/standard_method_codec.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

const std::string kLibrary = binaryDirectory() + "/libcorvane.so";

// The plug-in's shared library, loaded as a host loads it.
struct LoadedPlugin {
  void* handle = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  decltype(&CorvanePluginRegisterWithRegistrar) entry =
      handle ? reinterpret_cast<decltype(entry)>(::dlsym(handle, "CorvanePluginRegisterWithRegistrar")) : nullptr;
};

host::Bytes encoded(const char* method, host::Value argument = {}) {
  return host::FlutterStandardMethodCodec::sharedInstance().encodeMethodCall({method, std::move(argument)}).value();
}

bool mapped(const std::string& name) { return readBytes("/proc/self/maps").find(name) != std::string::npos; }

// The text a reply to getPlatformVersion holds; empty when it holds none.
std::string versionIn(const host::Bytes& reply) {
  const auto decoded = host::FlutterStandardMethodCodec::sharedInstance().decodeEnvelope(reply);
  const auto* value = decoded ? std::get_if<host::Value>(&*decoded) : nullptr;
  const auto* text = value ? value->getIf<std::string>() : nullptr;
  return text ? *text : "";
}

TEST(SharedLibrary, RegistersThroughItsEntryAndAnswersCalls) {
  LoadedPlugin plugin;
  ASSERT_NE(plugin.entry, nullptr) << ::dlerror();
  const auto* number = static_cast<const double*>(::dlsym(plugin.handle, "corvaneVersionNumber"));
  const auto* name = static_cast<const char*>(::dlsym(plugin.handle, "corvaneVersionString"));
  ASSERT_NE(number, nullptr);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(*number, 1.0);
  EXPECT_NE(std::string(name).find("corvane"), std::string::npos);
  {
    auto engine = host::EmbeddedEngine::create();
    plugin.entry(engine->registrarForPlugin());
    EXPECT_TRUE(versionIn(engine->sendAndWait("corvane", encoded("getPlatformVersion"))).starts_with("iOS "));
    EXPECT_EQ(engine->answerFaults(), 0u);
  }  // the engine, and with it the plug-in's objects, go before the library's code does
  EXPECT_EQ(::dlclose(plugin.handle), 0);
}

// Library requests still queued when the host lets go of the plug-in are answered before its
// destruction handler returns, and no library thread runs the plug-in's code afterwards: the
// library can be unloaded at once, and a thread still in it would crash the test.
TEST(SharedLibrary, UnloadsSafelyOnceTheDestructionHandlerHasReturned) {
  TempDir dir;
  dir.write("Album/clip.mov", patternBytes(3 << 20, 7));
  const std::string location = dir.path().string();
  CorvaneConsole console{sizeof console, nullptr, [](void*, const char*, std::size_t) {}};
  const CorvaneLentServices lent{sizeof lent, &console, nullptr, location.c_str(), nullptr, nullptr};
  constexpr int kRounds = 150, kCalls = 64;
  for (int round = 0; round < kRounds; ++round) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.entry, nullptr) << ::dlerror();
    std::array<std::atomic<int>, kCalls> replies{};
    {
      auto engine = host::EmbeddedEngine::create();
      plugin.entry(engine->registrarForPlugin(&lent));
      for (int call = 0; call < kCalls; ++call) {
        engine->sendOnChannel(
            "corvane", encoded(call % 2 ? "hashAsset" : "fingerprintOfVideoAsset", host::Value("Album/clip.mov")),
            [&replies, call](host::Bytes) { replies[call]++; });
      }
    }
    for (int call = 0; call < kCalls; ++call)
      ASSERT_EQ(replies[call].load(), 1) << "round " << round << ", call " << call;
    ASSERT_EQ(::dlclose(plugin.handle), 0);
    ASSERT_FALSE(mapped("libcorvane.so"));
  }
}

// What a host may get wrong in its registrar: each time the channel is left without a handler
// (the engine's empty reply) instead of a crash. An older host's shorter struct is no fault:
// the fields it lacks count as not lent.
TEST(SharedLibrary, RegistrarsFilledInBadlyRegisterNothing) {
  LoadedPlugin plugin;
  ASSERT_NE(plugin.entry, nullptr) << ::dlerror();
  enum Answer { kNothing, kLentVersion, kOwnVersion };
  struct Case {
    const char* what;
    void (*spoil)(CorvanePluginRegistrar& registrar, CorvaneMessenger& messenger);
    Answer answer;
  };
  const std::vector<Case> cases = {
      {"a registrar as the engine fills it", [](CorvanePluginRegistrar&, CorvaneMessenger&) {}, kLentVersion},
      {"no messenger", [](CorvanePluginRegistrar& r, CorvaneMessenger&) { r.messenger = nullptr; }, kNothing},
      {"no set_callback", [](CorvanePluginRegistrar&, CorvaneMessenger& m) { m.set_callback = nullptr; }, kNothing},
      {"no send_response", [](CorvanePluginRegistrar&, CorvaneMessenger& m) { m.send_response = nullptr; }, kNothing},
      {"no destruction handler",
       [](CorvanePluginRegistrar& r, CorvaneMessenger&) { r.set_destruction_handler = nullptr; }, kNothing},
      {"a registrar struct_size of 0", [](CorvanePluginRegistrar& r, CorvaneMessenger&) { r.struct_size = 0; },
       kNothing},
      {"a messenger cut short before send_response",
       [](CorvanePluginRegistrar&, CorvaneMessenger& m) { m.struct_size = offsetof(CorvaneMessenger, send_response); },
       kNothing},
      {"a registrar cut short before its lent services",
       [](CorvanePluginRegistrar& r, CorvaneMessenger&) { r.struct_size = offsetof(CorvanePluginRegistrar, lent); },
       kOwnVersion},
  };
  const CorvaneLentServices lent{sizeof lent, nullptr, "lent", nullptr, nullptr, nullptr};
  plugin.entry(nullptr);
  for (const auto& c : cases) {
    auto engine = host::EmbeddedEngine::create();
    CorvanePluginRegistrar registrar = *engine->registrarForPlugin(&lent);
    CorvaneMessenger messenger = *registrar.messenger;
    registrar.messenger = &messenger;
    c.spoil(registrar, messenger);
    plugin.entry(&registrar);
    const auto reply = engine->sendAndWait("corvane", encoded("getPlatformVersion"));
    if (c.answer == kNothing) {
      EXPECT_TRUE(reply.empty()) << c.what;
      continue;
    }
    const auto text = versionIn(reply);
    EXPECT_TRUE(text.starts_with("iOS ")) << c.what << ": " << text;
    EXPECT_EQ(text == "iOS lent", c.answer == kLentVersion) << c.what << ": " << text;
  }
}

// A host's file, scripted: its bytes come in reads of at most `piece`, the read at `failAt`
// fails, and a liar claims more bytes than it was asked for.
struct ScriptedFile {
  std::string bytes;
  std::size_t failAt = std::string::npos;
  bool liar = false;
  std::size_t piece = 7000;
};

struct ScriptedOpener {
  std::map<std::string, ScriptedFile> files;
  std::atomic<int> open{0};
  std::atomic<int> closed{0};
};

CorvaneFileOpener scriptedOpener(ScriptedOpener& script) {
  CorvaneFileOpener opener{};
  opener.struct_size = sizeof opener;
  opener.user_data = &script;
  opener.open = [](void* data, const char* path, std::size_t length, CorvaneFileError* error) -> CorvaneFile* {
    auto& s = *static_cast<ScriptedOpener*>(data);
    const auto found = s.files.find(std::string(path, length));
    if (found == s.files.end()) {
      *error = {sizeof *error, "open", 4, CORVANE_FILE_ERROR_SYSTEM, ENOENT, nullptr, 0};
      return nullptr;
    }
    ++s.open;
    return reinterpret_cast<CorvaneFile*>(&found->second);
  };
  opener.status = [](void*, CorvaneFile*, CorvaneFileStatus* status, CorvaneFileError*) {
    *status = {sizeof *status, CORVANE_FILE_REGULAR, 0, 1, 1, 1, 0, 0};  // size untold, as a stream's
    return 0;
  };
  opener.read = [](void*, CorvaneFile* handle, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                   std::size_t* count, CorvaneFileError* error) {
    const auto& file = *reinterpret_cast<ScriptedFile*>(handle);
    if (offset >= file.failAt) {
      *error = {sizeof *error, "read", 4, CORVANE_FILE_ERROR_SYSTEM, EIO, nullptr, 0};
      return -1;
    }
    const std::size_t n = offset >= file.bytes.size() ? 0 : std::min({size, file.piece, file.bytes.size() - offset});
    std::memcpy(buffer, file.bytes.data() + offset, n);
    *count = file.liar && n > 0 ? size + 1 : n;
    return 0;
  };
  opener.close = [](void* data, CorvaneFile*) { ++static_cast<ScriptedOpener*>(data)->closed; };
  return opener;
}

TEST(SharedLibrary, FilesAHostOpensAreReadThroughItsOpener) {
  LoadedPlugin plugin;
  ASSERT_NE(plugin.entry, nullptr) << ::dlerror();
  const std::string bytes = patternText(3 << 20, 4);
  ScriptedOpener script;
  script.files = {{"good", {bytes}},
                  {"fails part-way", {bytes, 1 << 20}},
                  {"claims too much", {bytes, std::string::npos, true}},
                  {"empty", {""}}};
  const auto opener = scriptedOpener(script);
  const CorvaneLentServices lent{sizeof lent, nullptr, nullptr, nullptr, nullptr, &opener};
  auto engine = host::EmbeddedEngine::create();
  plugin.entry(engine->registrarForPlugin(&lent));
  const auto hashOf = [&](const std::string& path) {
    const auto reply = engine->sendAndWait("corvane", encoded("hashFile", host::Value(path)));
    const auto decoded = host::FlutterStandardMethodCodec::sharedInstance().decodeEnvelope(reply);
    const auto* value = decoded ? std::get_if<host::Value>(&*decoded) : nullptr;
    const auto* text = value ? value->getIf<std::string>() : nullptr;
    return text ? std::optional<std::string>(*text) : std::nullopt;
  };
  TempDir dir;
  const auto file = dir.write("f", bytes);
  EXPECT_FALSE(hashOf(file));  // the host opens every path of the file methods: this one it does not know
  EXPECT_EQ(hashOf("good"), referenceSha256(bytes));
  EXPECT_EQ(hashOf("empty"), referenceSha256(""));
  EXPECT_FALSE(hashOf("fails part-way"));
  EXPECT_FALSE(hashOf("claims too much"));
  EXPECT_EQ(script.open.load(), 4);
  EXPECT_EQ(script.closed.load(), 4);  // every file the host opened is given back, once
  EXPECT_EQ(engine->answerFaults(), 0u);
}

TEST(SharedLibrary, ExportsExactlyTheEntryAndTheVersionSymbols) {
  const auto nm = runProgram("nm", {"-D", "--defined-only", kLibrary});
  ASSERT_EQ(nm.status, 0) << nm.err;
  std::set<std::string> symbols;
  for (const auto& line : lines(nm.out)) symbols.insert(line.substr(line.find_last_of(' ') + 1));
  EXPECT_EQ(symbols, (std::set<std::string>{"CorvanePluginRegisterWithRegistrar", "corvaneVersionNumber",
                                            "corvaneVersionString"}));
}

}  // namespace
}  // namespace corvane::testing
