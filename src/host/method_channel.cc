#include "host/method_channel.h"

#include <new>
#include <utility>

namespace corvane::host {
namespace {

// The error envelope always encodes: its fields are short texts and null.
Bytes errorEnvelope(const FlutterMethodCodec& codec, std::string code, std::string message) {
  return codec.encodeErrorEnvelope(FlutterError{std::move(code), std::move(message), Value{}}).value_or(Bytes{});
}

}  // namespace

std::shared_ptr<FlutterMethodChannel> FlutterMethodChannel::methodChannelWithName(
    std::string name, const std::shared_ptr<FlutterBinaryMessenger>& messenger, const FlutterMethodCodec& codec) {
  return std::make_shared<FlutterMethodChannel>(std::move(name), messenger, codec);
}

FlutterMethodChannel::FlutterMethodChannel(std::string name, const std::shared_ptr<FlutterBinaryMessenger>& messenger,
                                           const FlutterMethodCodec& codec)
    : name_(std::move(name)), messenger_(messenger), codec_(&codec) {}

void FlutterMethodChannel::setMethodCallHandler(FlutterMethodCallHandler handler) {
  const auto messenger = messenger_.lock();
  if (!messenger) return;
  if (!handler) {
    messenger->setMessageHandlerOnChannel(name_, nullptr);
    return;
  }
  messenger->setMessageHandlerOnChannel(name_, [handler = std::move(handler), codec = codec_, name = name_,
                                                weakMessenger = messenger_](const Bytes& message, BinaryReply reply) {
    std::optional<FlutterMethodCall> call;
    try {
      call = codec->decodeMethodCall(message);
    } catch (const std::bad_alloc&) {
      // A message too large to hold decoded; nothing may escape into the messenger.
    }
    if (!call) {
      reply(errorEnvelope(*codec, "malformed-call", "the message is not a method call"));
      return;
    }
    auto deliver = [codec, reply = std::move(reply)](MethodAnswer answer) {
      if (isNotImplemented(answer)) {
        reply(Bytes{});
        return;
      }
      std::optional<Bytes> envelope;
      try {
        envelope = codec->encodeSuccessEnvelope(std::get<Value>(answer));
        if (!envelope) envelope = errorEnvelope(*codec, "unencodable", "the answer is too large");
      } catch (const std::bad_alloc&) {
        // No memory to encode the answer: the call is still owed its one reply, and an
        // empty one needs none.
        reply(Bytes{});
        return;
      }
      reply(std::move(*envelope));
    };
    auto report = [name, weakMessenger](std::string_view problem) {
      if (const auto m = weakMessenger.lock()) m->reportAnswerFault(name, problem);
    };
    handler(*call, FlutterResult(std::move(deliver), std::move(report)));
  });
}

void FlutterMethodChannel::invokeMethod(const FlutterMethodCall& call, FlutterReplyHandler reply) const {
  auto message = codec_->encodeMethodCall(call);
  const auto messenger = messenger_.lock();
  if (!message || !messenger) {
    reply(FlutterError{"unsendable", message ? "the channel's host is gone" : "the call is too large", Value{}});
    return;
  }
  const bool sent = messenger->sendOnChannel(name_, *message, [codec = codec_, reply](Bytes bytes) {
    auto decoded = codec->decodeEnvelope(bytes);
    reply(decoded ? std::move(*decoded)
                  : MethodReply(FlutterError{"malformed-reply", "the reply is not an envelope", Value{}}));
  });
  if (!sent) reply(FlutterError{"unsendable", "the host takes no messages from plug-ins", Value{}});
}

}  // namespace corvane::host
