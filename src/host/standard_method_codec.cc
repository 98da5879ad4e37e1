#include "host/standard_method_codec.h"

#include "host/standard_reader.h"
#include "host/standard_writer.h"

namespace corvane::host {
namespace {

constexpr std::uint8_t kSuccess = 0;
constexpr std::uint8_t kError = 1;

}  // namespace

const FlutterStandardMethodCodec& FlutterStandardMethodCodec::sharedInstance() {
  static const FlutterStandardMethodCodec codec;
  return codec;
}

std::optional<Bytes> FlutterStandardMethodCodec::encodeMethodCall(const FlutterMethodCall& call) const {
  Bytes message;
  StandardWriter writer(message);
  if (!writer.writeValue(Value(call.method)) || !writer.writeValue(call.arguments)) return std::nullopt;
  return message;
}

std::optional<FlutterMethodCall> FlutterStandardMethodCodec::decodeMethodCall(
    std::span<const std::uint8_t> message) const {
  StandardReader reader(message);
  auto name = reader.readValue();
  if (!name || name->getIf<std::string>() == nullptr) return std::nullopt;
  auto arguments = reader.readValue();
  if (!arguments || !reader.atEnd()) return std::nullopt;
  return FlutterMethodCall{std::move(*std::get_if<std::string>(&name->storage)), std::move(*arguments)};
}

std::optional<Bytes> FlutterStandardMethodCodec::encodeSuccessEnvelope(const Value& result) const {
  Bytes reply{kSuccess};
  StandardWriter writer(reply);
  if (!writer.writeValue(result)) return std::nullopt;
  return reply;
}

std::optional<Bytes> FlutterStandardMethodCodec::encodeErrorEnvelope(const FlutterError& error) const {
  Bytes reply{kError};
  StandardWriter writer(reply);
  const Value message = error.message ? Value(*error.message) : Value{};
  if (!writer.writeValue(Value(error.code)) || !writer.writeValue(message) || !writer.writeValue(error.details)) {
    return std::nullopt;
  }
  return reply;
}

std::optional<MethodReply> FlutterStandardMethodCodec::decodeEnvelope(std::span<const std::uint8_t> reply) const {
  if (reply.empty()) return MethodReply(FlutterMethodNotImplemented);
  StandardReader reader(reply);
  const auto kind = reader.readByte();
  if (kind == kSuccess) {
    auto value = reader.readValue();
    if (!value || !reader.atEnd()) return std::nullopt;
    return MethodReply(std::move(*value));
  }
  if (kind != kError) return std::nullopt;
  auto code = reader.readValue();
  auto message = code ? reader.readValue() : std::nullopt;
  auto details = message ? reader.readValue() : std::nullopt;
  if (!details || code->getIf<std::string>() == nullptr) return std::nullopt;
  if (!message->isNull() && message->getIf<std::string>() == nullptr) return std::nullopt;
  if (!reader.atEnd()) {
    const auto stackTrace = reader.readValue();
    if (!stackTrace || !reader.atEnd()) return std::nullopt;
    if (!stackTrace->isNull() && stackTrace->getIf<std::string>() == nullptr) return std::nullopt;
  }
  FlutterError error{*code->getIf<std::string>(), std::nullopt, std::move(*details)};
  if (const auto* text = message->getIf<std::string>()) error.message = *text;
  return MethodReply(std::move(error));
}

}  // namespace corvane::host
