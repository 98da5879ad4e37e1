#pragma once

#include "host/method_codec.h"

namespace corvane::host {

// The Flutter standard method codec: a call is the method name then the argument; a reply is
// 0 then the value, or 1 then code, message, details (and, from newer engines, a stack trace).
class FlutterStandardMethodCodec final : public FlutterMethodCodec {
 public:
  static const FlutterStandardMethodCodec& sharedInstance();

  std::optional<Bytes> encodeMethodCall(const FlutterMethodCall& call) const override;
  std::optional<FlutterMethodCall> decodeMethodCall(std::span<const std::uint8_t> message) const override;
  std::optional<Bytes> encodeSuccessEnvelope(const Value& result) const override;
  std::optional<Bytes> encodeErrorEnvelope(const FlutterError& error) const override;
  std::optional<MethodReply> decodeEnvelope(std::span<const std::uint8_t> reply) const override;
};

}  // namespace corvane::host
