#pragma once

#include <optional>
#include <span>
#include <string>
#include <variant>

#include "host/bytes.h"
#include "host/method_answer.h"
#include "host/method_call.h"
#include "host/value.h"

namespace corvane::host {

// An error reply: a code, an optional message and any details.
struct FlutterError {
  std::string code;
  std::optional<std::string> message;
  Value details;

  friend bool operator==(const FlutterError&, const FlutterError&) = default;
};

// A decoded reply: success with a value, an error, or the empty reply of a method that the
// receiver does not implement.
using MethodReply = std::variant<Value, FlutterError, MethodNotImplemented>;

// Turns method calls and their replies into bytes and back. Encoding fails only for a value too
// large for the encoding; decoding fails for bytes that are not a well-formed message.
class FlutterMethodCodec {
 public:
  virtual ~FlutterMethodCodec() = default;

  virtual std::optional<Bytes> encodeMethodCall(const FlutterMethodCall& call) const = 0;
  virtual std::optional<FlutterMethodCall> decodeMethodCall(std::span<const std::uint8_t> message) const = 0;
  virtual std::optional<Bytes> encodeSuccessEnvelope(const Value& result) const = 0;
  virtual std::optional<Bytes> encodeErrorEnvelope(const FlutterError& error) const = 0;
  virtual std::optional<MethodReply> decodeEnvelope(std::span<const std::uint8_t> reply) const = 0;
};

}  // namespace corvane::host
