#include "host/binary_messenger.h"

#include <string>
#include <utility>

#include "host/host_struct.h"

namespace corvane::host {
namespace {

Bytes bytesOf(const std::uint8_t* data, std::size_t size) {
  return data == nullptr ? Bytes{} : Bytes(data, data + size);
}

}  // namespace

// The host's functions, shared with every pending reply, so that a late answer still finds them.
struct FlutterBinaryMessenger::Host {
  explicit Host(const CorvaneMessenger& messenger) : functions(messenger) {}

  const CorvaneMessenger functions;
  // Guards fault reports, which may not reach the host once the messenger is gone.
  std::mutex reportMutex;
  bool reporting = true;

  void respond(CorvaneResponseHandle* handle, const Bytes& reply) const {
    functions.send_response(functions.user_data, handle, reply.data(), reply.size());
  }
};

struct FlutterBinaryMessenger::Receiver {
  std::shared_ptr<Host> host;
  BinaryMessageHandler handler;

  // Called by the host through C: nothing may escape.
  static void onMessage(const CorvaneMessage* message, void* userData) noexcept {
    const auto copy = copyOfHostStruct(message);
    if (!copy || copy->response_handle == nullptr) return;  // nothing to answer with
    const auto& receiver = *static_cast<const Receiver*>(userData);
    CorvaneResponseHandle* handle = copy->response_handle;
    Bytes bytes;
    BinaryReply reply;
    try {
      bytes = bytesOf(copy->message, copy->message_size);
      reply = [host = receiver.host, handle](Bytes answer) { host->respond(handle, answer); };
    } catch (...) {
      receiver.host->respond(handle, Bytes{});  // out of memory before the handler had the message
      return;
    }
    try {
      receiver.handler(bytes, std::move(reply));
    } catch (...) {
      // The handler answers for itself; a channel's handler answers on every road.
    }
  }
};

FlutterBinaryMessenger::FlutterBinaryMessenger(const CorvaneMessenger& messenger)
    : host_(std::make_shared<Host>(messenger)) {}

FlutterBinaryMessenger::~FlutterBinaryMessenger() {
  std::lock_guard lock(host_->reportMutex);
  host_->reporting = false;
}

bool FlutterBinaryMessenger::usable(const CorvaneMessenger& messenger) {
  return messenger.set_callback != nullptr && messenger.send_response != nullptr;
}

bool FlutterBinaryMessenger::sendOnChannel(std::string_view channel, const Bytes& message, BinaryReply reply) const {
  const auto& f = host_->functions;
  if (f.send == nullptr) return false;
  const auto onReply = [](const std::uint8_t* data, std::size_t size, void* userData) noexcept {
    const std::unique_ptr<BinaryReply> pending(static_cast<BinaryReply*>(userData));
    try {
      if (*pending) (*pending)(bytesOf(data, size));
    } catch (...) {
    }
  };
  // Owned by the host's call from here on: the reply frees it, once.
  auto* pending = std::make_unique<BinaryReply>(std::move(reply)).release();
  const std::string name(channel);
  if (f.send(f.user_data, name.c_str(), message.data(), message.size(), onReply, pending) == 0) {
    const std::unique_ptr<BinaryReply> unsent(pending);  // no reply will come
    return false;
  }
  return true;
}

void FlutterBinaryMessenger::setMessageHandlerOnChannel(std::string_view channel, BinaryMessageHandler handler) {
  const auto& f = host_->functions;
  const std::string name(channel);
  std::lock_guard lock(mutex_);
  if (!handler) {
    f.set_callback(f.user_data, name.c_str(), nullptr, nullptr);
    return;
  }
  receivers_.push_back(std::make_unique<Receiver>(Receiver{host_, std::move(handler)}));
  f.set_callback(f.user_data, name.c_str(), &Receiver::onMessage, receivers_.back().get());
}

void FlutterBinaryMessenger::reportAnswerFault(std::string_view channel, std::string_view problem) const {
  const auto& f = host_->functions;
  if (f.report_fault == nullptr) return;
  const std::string name(channel), text(problem);
  std::lock_guard lock(host_->reportMutex);
  if (host_->reporting) f.report_fault(f.user_data, name.c_str(), text.c_str());
}

}  // namespace corvane::host
