#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "host/embedded_engine.h"
#include "host/standard_method_codec.h"
#include "support/run_command.h"

namespace corvane::testing {
namespace {

const std::string kLibrary = binaryDirectory() + "/libcorvane.so";

TEST(SharedLibrary, RegistersThroughItsEntryAndAnswersCalls) {
  void* library = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  const auto entry = reinterpret_cast<decltype(&CorvanePluginRegisterWithRegistrar)>(
      ::dlsym(library, "CorvanePluginRegisterWithRegistrar"));
  const auto* number = static_cast<const double*>(::dlsym(library, "corvaneVersionNumber"));
  const auto* name = static_cast<const char*>(::dlsym(library, "corvaneVersionString"));
  ASSERT_NE(entry, nullptr);
  ASSERT_NE(number, nullptr);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(*number, 1.0);
  EXPECT_NE(std::string(name).find("corvane"), std::string::npos);
  {
    auto engine = host::EmbeddedEngine::create();
    entry(engine->registrarForPlugin());
    const auto& codec = host::FlutterStandardMethodCodec::sharedInstance();
    const auto reply = codec.decodeEnvelope(engine->sendAndWait("corvane", codec.encodeMethodCall({"getPlatformVersion", {}}).value()));
    ASSERT_TRUE(reply.has_value());
    const auto* answer = std::get_if<host::Value>(&*reply);
    ASSERT_NE(answer, nullptr);
    ASSERT_NE(answer->getIf<std::string>(), nullptr);
    EXPECT_TRUE(answer->getIf<std::string>()->starts_with("iOS "));
    EXPECT_EQ(engine->answerFaults(), 0u);
  }  // the engine, and with it the plug-in's objects, go before the library's code does
  EXPECT_EQ(::dlclose(library), 0);
}

TEST(SharedLibrary, ExportsExactlyTheEntryAndTheVersionSymbols) {
  const std::string command = "nm -D --defined-only '" + kLibrary + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text(line);
    const auto space = text.find_last_of(' ');
    std::string symbol = text.substr(space + 1);
    symbol.erase(symbol.find_last_not_of("\n") + 1);
    symbols.insert(symbol);
  }
  EXPECT_EQ(symbols, (std::set<std::string>{"CorvanePluginRegisterWithRegistrar", "corvaneVersionNumber",
                                            "corvaneVersionString"}));
}

}  // namespace
}  // namespace corvane::testing
