#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/embedded_engine.h"
#include "host/method_channel.h"
#include "host/plugin_registrar.h"
#include "host/standard_method_codec.h"
#include "platform/console.h"
#include "platform/device_info.h"
#include "shell/corvane_plugin.h"

namespace corvane::testing {

// Keeps every printed line, for comparing byte for byte.
class CapturingConsole final : public platform::Console {
 public:
  void printLine(std::string_view text) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(text);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Counts the replies to one call, so that a second answer or a missing one shows.
class ReplyCounter {
 public:
  void record(host::MethodReply reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
    changed_.notify_all();
  }
  // Waits (bounded, so that a missing answer fails instead of hanging) for the first reply.
  std::optional<host::MethodReply> waitFirst(std::chrono::seconds limit = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return !replies_.empty(); });
    if (replies_.empty()) return std::nullopt;
    return replies_.front();
  }
  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return replies_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<host::MethodReply> replies_;
};

// Keeps what the plug-in's file layer tells its observer: the reasons of failures, in order.
class CapturingObserver final : public platform::FileObserver {
 public:
  void fileRead(std::string_view, const platform::FileStatus&) override {}
  void fileFailed(std::string_view, const platform::FileError& error) override {
    std::lock_guard lock(mutex_);
    errors_.push_back(error);
  }
  std::vector<platform::FileError> errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<platform::FileError> errors_;
};

// An embedded engine with a plug-in object registered on it, and the channel an app would use.
// The test's services are C++ objects no host could lend through the C boundary, so the plug-in
// is built here and attached through the plug-in-facing wrapper of the engine's C registrar:
// plug-in and engine still meet only through the C functions.
class ChannelHarness {
 public:
  explicit ChannelHarness(std::shared_ptr<photo_library::PhotoLibrary> library = nullptr, std::string version = "17.4",
                          std::shared_ptr<platform::FileSystem> fileSystem = platform::posixFileSystem()) {
    engine = host::EmbeddedEngine::create({[](std::string_view, std::string_view) {}});
    auto* registrar = host::FlutterPluginRegistrar::attach(engine->registrarForPlugin());
    shell::CorvanePlugin::registerWithRegistrar(
        *registrar, {console, std::make_shared<platform::FixedDeviceInfo>(std::move(version)), std::move(library),
                     std::move(fileSystem), observer});
    channel = host::FlutterMethodChannel::methodChannelWithName("corvane", registrar->messenger(),
                                                                host::FlutterStandardMethodCodec::sharedInstance());
  }

  // Sends a call and returns the counter of its replies.
  std::shared_ptr<ReplyCounter> send(std::string method, host::Value argument = {}) {
    auto counter = std::make_shared<ReplyCounter>();
    channel->invokeMethod({std::move(method), std::move(argument)},
                          [counter](host::MethodReply reply) { counter->record(std::move(reply)); });
    return counter;
  }
  // Sends a call and waits for its one reply.
  host::MethodReply call(std::string method, host::Value argument = {}) {
    auto counter = send(std::move(method), std::move(argument));
    auto reply = counter->waitFirst();
    if (!reply) return host::FlutterError{"test", "no reply", {}};
    return *reply;
  }

  std::shared_ptr<CapturingConsole> console = std::make_shared<CapturingConsole>();
  std::shared_ptr<CapturingObserver> observer = std::make_shared<CapturingObserver>();
  std::unique_ptr<host::EmbeddedEngine> engine;
  std::shared_ptr<host::FlutterMethodChannel> channel;
};

inline host::MethodReply text(std::string s) { return host::Value(std::move(s)); }
inline host::MethodReply nil() { return host::Value{}; }
inline host::MethodReply boolean(bool b) { return host::Value(b); }
inline host::MethodReply notImplemented() { return host::FlutterMethodNotImplemented; }
// The argument of getIfAssetExistInAlbum.
inline host::Value albumQuery(host::Value assetId, host::Value pathId, host::Value isUserAlbum = host::Value(true)) {
  using host::Value;
  return Value(host::ValueMap{{Value("assetId"), std::move(assetId)},
                              {Value("pathId"), std::move(pathId)},
                              {Value("isUserAlbum"), std::move(isUserAlbum)}});
}

}  // namespace corvane::testing
