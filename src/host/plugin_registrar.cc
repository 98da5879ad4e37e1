#include "host/plugin_registrar.h"

#include <utility>

#include "host/host_struct.h"

namespace corvane::host {

FlutterPluginRegistrar* FlutterPluginRegistrar::attach(CorvanePluginRegistrarRef registrar) {
  const auto filled = copyOfHostStruct(registrar);
  if (!filled || filled->set_destruction_handler == nullptr) return nullptr;
  const auto messenger = copyOfHostStruct(filled->messenger);
  if (!messenger || !FlutterBinaryMessenger::usable(*messenger)) return nullptr;
  // From here on the host owns it: its destruction handler frees it.
  auto* attached = std::make_unique<FlutterPluginRegistrar>(*messenger, Attached{}).release();
  const auto destroy = [](void* userData) noexcept {
    const std::unique_ptr<FlutterPluginRegistrar> released(static_cast<FlutterPluginRegistrar*>(userData));
  };
  filled->set_destruction_handler(filled->user_data, destroy, attached);
  return attached;
}

FlutterPluginRegistrar::FlutterPluginRegistrar(const CorvaneMessenger& messenger, Attached)
    : messenger_(std::make_shared<FlutterBinaryMessenger>(messenger)) {}

FlutterPluginRegistrar::~FlutterPluginRegistrar() {
  // The messenger's receivers hold the handlers, and the handlers the delegates.
  messenger_.reset();
  channels_.clear();
  for (auto& task : destructionTasks_) {
    try {
      task();
    } catch (...) {
      // Called from the host through C: nothing may escape.
    }
  }
}

void FlutterPluginRegistrar::addMethodCallDelegate(std::shared_ptr<FlutterPlugin> delegate,
                                                   std::shared_ptr<FlutterMethodChannel> channel) {
  if (!delegate || !channel) return;
  channel->setMethodCallHandler([delegate = std::move(delegate)](const FlutterMethodCall& call, FlutterResult result) {
    delegate->handle(call, std::move(result));
  });
  std::lock_guard lock(mutex_);
  channels_.push_back(std::move(channel));
}

void FlutterPluginRegistrar::addDestructionTask(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  destructionTasks_.push_back(std::move(task));
}

}  // namespace corvane::host
