#include "host/embedded_engine.h"

#include <unistd.h>

#include <future>
#include <string>
#include <utility>

namespace corvane::host {
namespace {

class EngineRegistrar final : public FlutterPluginRegistrar {
 public:
  explicit EngineRegistrar(std::weak_ptr<EmbeddedEngine> engine) : engine_(std::move(engine)) {}

  std::shared_ptr<FlutterBinaryMessenger> messenger() override { return engine_.lock(); }

  void addMethodCallDelegate(std::shared_ptr<FlutterPlugin> delegate,
                             std::shared_ptr<FlutterMethodChannel> channel) override {
    if (!delegate || !channel) return;
    channel->setMethodCallHandler([delegate](const FlutterMethodCall& call, FlutterResult result) {
      delegate->handle(call, std::move(result));
    });
    std::lock_guard lock(mutex_);
    delegates_.push_back(std::move(delegate));
    channels_.push_back(std::move(channel));
  }

  std::shared_ptr<void> lookupService(std::string_view name) const override {
    const auto engine = engine_.lock();
    return engine ? engine->lookupService(name) : nullptr;
  }

 private:
  std::weak_ptr<EmbeddedEngine> engine_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<FlutterPlugin>> delegates_;
  std::vector<std::shared_ptr<FlutterMethodChannel>> channels_;
};

void writeToStandardError(std::string_view channel, std::string_view problem) {
  std::string line = "corvane host: channel \"";
  line.append(channel).append("\": ").append(problem).append("\n");
  [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

std::shared_ptr<EmbeddedEngine> EmbeddedEngine::create(Options options) {
  return std::make_shared<EmbeddedEngine>(std::move(options));
}

EmbeddedEngine::EmbeddedEngine(Options options)
    : services_(std::move(options.services)),
      faultSink_(options.faultSink ? std::move(options.faultSink) : FaultSink(writeToStandardError)) {}

EmbeddedEngine::~EmbeddedEngine() {
  // Handlers hold the plug-ins; drop them before the registrars so that nothing is called late.
  std::map<std::string, std::shared_ptr<const BinaryMessageHandler>, std::less<>> handlers;
  {
    std::unique_lock lock(handlersMutex_);
    handlers.swap(handlers_);
  }
}

std::shared_ptr<FlutterPluginRegistrar> EmbeddedEngine::registrarForPlugin(std::string_view) {
  auto registrar = std::make_shared<EngineRegistrar>(weak_from_this());
  std::lock_guard lock(registrarsMutex_);
  registrars_.push_back(registrar);
  return registrar;
}

void EmbeddedEngine::sendOnChannel(std::string_view channel, const Bytes& message, BinaryReply reply) {
  std::shared_ptr<const BinaryMessageHandler> handler;
  {
    std::shared_lock lock(handlersMutex_);
    if (const auto it = handlers_.find(channel); it != handlers_.end()) handler = it->second;
  }
  if (!handler) {
    // Nobody listens: the empty reply, as for a method nobody implements.
    reply(Bytes{});
    return;
  }
  (*handler)(message, std::move(reply));
}

void EmbeddedEngine::setMessageHandlerOnChannel(std::string_view channel, BinaryMessageHandler handler) {
  std::shared_ptr<const BinaryMessageHandler> old;
  {
    std::unique_lock lock(handlersMutex_);
    auto it = handlers_.find(channel);
    if (it != handlers_.end()) old = std::move(it->second);
    if (!handler) {
      if (it != handlers_.end()) handlers_.erase(it);
    } else if (it != handlers_.end()) {
      it->second = std::make_shared<const BinaryMessageHandler>(std::move(handler));
    } else {
      handlers_.emplace(std::string(channel), std::make_shared<const BinaryMessageHandler>(std::move(handler)));
    }
  }
  // `old` (and whatever it holds) is released here, outside the lock.
}

void EmbeddedEngine::reportAnswerFault(std::string_view channel, std::string_view problem) {
  faults_.fetch_add(1);
  faultSink_(channel, problem);
}

Bytes EmbeddedEngine::sendAndWait(std::string_view channel, const Bytes& message) {
  struct Waiter {
    std::promise<Bytes> promise;
    std::atomic<bool> replied{false};
  };
  auto waiter = std::make_shared<Waiter>();
  auto future = waiter->promise.get_future();
  sendOnChannel(channel, message, [waiter](Bytes reply) {
    // A receiver that replies twice is its own fault; the first reply stands.
    if (!waiter->replied.exchange(true)) waiter->promise.set_value(std::move(reply));
  });
  return future.get();
}

std::shared_ptr<void> EmbeddedEngine::lookupService(std::string_view name) const {
  const auto it = services_.find(name);
  return it == services_.end() ? nullptr : it->second;
}

}  // namespace corvane::host
