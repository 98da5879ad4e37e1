#include "host/embedded_engine.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

namespace corvane::host {
namespace {

void writeToStandardError(std::string_view channel, std::string_view problem) {
  std::string line = "corvane host: channel \"";
  line.append(channel).append("\": ").append(problem).append("\n");
  [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line.data(), line.size());
}

struct Receiver {
  CorvaneMessageCallback callback = nullptr;
  void* userData = nullptr;
};

// One plug-in's registrar, and copies of what it is lent, at addresses that stay put.
struct Registration {
  CorvanePluginRegistrar registrar{};
  CorvaneLentServices lent{};
  CorvaneConsole console{};
  CorvaneFileObserver observer{};
  CorvaneFileOpener opener{};
  std::string systemVersion;
  std::string libraryPath;
  std::mutex* mutex = nullptr;  // the engine's, for the destruction handler
  CorvaneDestructionHandler destroy = nullptr;
  void* destroyData = nullptr;
};

}  // namespace

// Everything the C functions reach through their user data. Every pending reply holds it, so a
// late reply finds it even after the engine is gone.
struct EmbeddedEngine::Core : std::enable_shared_from_this<Core> {
  explicit Core(FaultSink sink) : faultSink(std::move(sink)) {
    messenger.struct_size = sizeof messenger;
    messenger.user_data = this;
    messenger.set_callback = &setCallback;
    messenger.send_response = &sendResponse;
    messenger.send = &send;
    messenger.report_fault = &reportFault;
  }

  struct PendingReply {
    std::shared_ptr<Core> core;
    Reply reply;
  };

  void deliver(std::string_view channel, const Bytes& message, Reply reply) {
    Receiver receiver;
    {
      std::shared_lock lock(receiversMutex);
      if (const auto it = receivers.find(channel); it != receivers.end()) receiver = it->second;
    }
    if (receiver.callback == nullptr) {
      // Nobody listens: the empty reply, as for a method nobody implements.
      reply(Bytes{});
      return;
    }
    const std::string name(channel);
    // The handle is the pending reply itself; sendResponse takes it back, once.
    auto* pending = std::make_unique<PendingReply>(PendingReply{shared_from_this(), std::move(reply)}).release();
    const CorvaneMessage delivered{sizeof(CorvaneMessage), name.c_str(), message.data(), message.size(),
                                   reinterpret_cast<CorvaneResponseHandle*>(pending)};
    receiver.callback(&delivered, receiver.userData);
  }

  void close() {
    {
      std::unique_lock lock(receiversMutex);
      receivers.clear();
    }
    std::vector<std::pair<CorvaneDestructionHandler, void*>> handlers;
    {
      std::lock_guard lock(registrationsMutex);
      for (auto it = registrations.rbegin(); it != registrations.rend(); ++it) {
        if ((*it)->destroy != nullptr) handlers.emplace_back((*it)->destroy, (*it)->destroyData);
        (*it)->destroy = nullptr;
      }
    }
    for (const auto& [handler, data] : handlers) handler(data);
  }

  static Core& of(void* userData) { return *static_cast<Core*>(userData); }

  static void setCallback(void* userData, const char* channel, CorvaneMessageCallback callback,
                          void* callbackData) noexcept {
    if (channel == nullptr) return;
    auto& core = of(userData);
    try {
      std::unique_lock lock(core.receiversMutex);
      if (callback == nullptr) {
        if (const auto it = core.receivers.find(std::string_view(channel)); it != core.receivers.end()) {
          core.receivers.erase(it);
        }
      } else {
        core.receivers.insert_or_assign(std::string(channel), Receiver{callback, callbackData});
      }
    } catch (...) {
    }
  }

  static void sendResponse(void*, CorvaneResponseHandle* handle, const std::uint8_t* data, std::size_t size) noexcept {
    const std::unique_ptr<PendingReply> pending(reinterpret_cast<PendingReply*>(handle));
    if (!pending) return;
    try {
      pending->reply(data == nullptr ? Bytes{} : Bytes(data, data + size));
    } catch (...) {
      // No memory for a copy of the reply: whoever waits still gets one, empty.
      try {
        pending->reply(Bytes{});
      } catch (...) {
      }
    }
  }

  static int send(void* userData, const char* channel, const std::uint8_t* message, std::size_t size,
                  CorvaneBinaryReply reply, void* replyData) noexcept {
    if (channel == nullptr) return 0;
    try {
      of(userData).deliver(channel, message == nullptr ? Bytes{} : Bytes(message, message + size),
                           [reply, replyData](Bytes answer) {
                             if (reply != nullptr) reply(answer.data(), answer.size(), replyData);
                           });
      return 1;
    } catch (...) {
      return 0;
    }
  }

  static void reportFault(void* userData, const char* channel, const char* problem) noexcept {
    auto& core = of(userData);
    core.faults.fetch_add(1);
    try {
      core.faultSink(channel != nullptr ? channel : "", problem != nullptr ? problem : "");
    } catch (...) {
    }
  }

  static void setDestructionHandler(void* userData, CorvaneDestructionHandler handler, void* handlerData) noexcept {
    auto& registration = *static_cast<Registration*>(userData);
    std::lock_guard lock(*registration.mutex);
    registration.destroy = handler;
    registration.destroyData = handlerData;
  }

  CorvaneMessenger messenger{};
  const FaultSink faultSink;
  std::atomic<std::size_t> faults{0};

  std::shared_mutex receiversMutex;
  std::map<std::string, Receiver, std::less<>> receivers;

  std::mutex registrationsMutex;
  std::vector<std::unique_ptr<Registration>> registrations;
};

std::unique_ptr<EmbeddedEngine> EmbeddedEngine::create(Options options) {
  return std::make_unique<EmbeddedEngine>(std::move(options));
}

EmbeddedEngine::EmbeddedEngine(Options options)
    : core_(
          std::make_shared<Core>(options.faultSink ? std::move(options.faultSink) : FaultSink(writeToStandardError))) {}

EmbeddedEngine::~EmbeddedEngine() { core_->close(); }

CorvanePluginRegistrarRef EmbeddedEngine::registrarForPlugin(const CorvaneLentServices* lent) {
  auto registration = std::make_unique<Registration>();
  auto& r = *registration;
  r.mutex = &core_->registrationsMutex;
  r.registrar = {sizeof(CorvanePluginRegistrar), &r, &core_->messenger, &Core::setDestructionHandler, nullptr};
  if (lent != nullptr) {
    r.lent.struct_size = sizeof r.lent;
    if (lent->console != nullptr) {
      r.console = *lent->console;
      r.lent.console = &r.console;
    }
    if (lent->file_observer != nullptr) {
      r.observer = *lent->file_observer;
      r.lent.file_observer = &r.observer;
    }
    if (lent->file_opener != nullptr) {
      r.opener = *lent->file_opener;
      r.lent.file_opener = &r.opener;
    }
    if (lent->system_version != nullptr) {
      r.systemVersion = lent->system_version;
      r.lent.system_version = r.systemVersion.c_str();
    }
    if (lent->photo_library_path != nullptr) {
      r.libraryPath = lent->photo_library_path;
      r.lent.photo_library_path = r.libraryPath.c_str();
    }
    r.registrar.lent = &r.lent;
  }
  std::lock_guard lock(core_->registrationsMutex);
  core_->registrations.push_back(std::move(registration));
  return &r.registrar;
}

void EmbeddedEngine::sendOnChannel(std::string_view channel, const Bytes& message, Reply reply) {
  core_->deliver(channel, message, std::move(reply));
}

Bytes EmbeddedEngine::sendAndWait(std::string_view channel, const Bytes& message) {
  // Most replies come before the send returns, on this thread: then nothing waits and nobody is
  // woken. A reply from another thread (a photo library's) wakes this one once.
  struct Waiter {
    std::mutex mutex;
    std::condition_variable replied;
    std::optional<Bytes> reply;
  };
  auto waiter = std::make_shared<Waiter>();
  sendOnChannel(channel, message, [waiter](Bytes reply) {
    std::lock_guard lock(waiter->mutex);
    // A receiver that replies twice is its own fault; the first reply stands.
    if (waiter->reply) return;
    waiter->reply = std::move(reply);
    waiter->replied.notify_one();
  });
  std::unique_lock lock(waiter->mutex);
  waiter->replied.wait(lock, [&] { return waiter->reply.has_value(); });
  return std::move(*waiter->reply);
}

std::size_t EmbeddedEngine::answerFaults() const { return core_->faults.load(); }

}  // namespace corvane::host
