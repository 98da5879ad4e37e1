// The standard codec's decoders on arbitrary bytes: they must fail cleanly or give a value that
// encodes back to bytes which decode to the very same encoding.
#include <cstdint>
#include <cstdlib>

#include "host/standard_method_codec.h"

using namespace corvane::host;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& codec = FlutterStandardMethodCodec::sharedInstance();
  const std::span<const std::uint8_t> bytes(data, size);

  if (const auto call = codec.decodeMethodCall(bytes)) {
    const auto encoded = codec.encodeMethodCall(*call);
    if (!encoded) std::abort();
    const auto again = codec.decodeMethodCall(*encoded);
    if (!again || codec.encodeMethodCall(*again) != encoded) std::abort();
  }
  if (const auto reply = codec.decodeEnvelope(bytes)) {
    if (const auto* value = std::get_if<Value>(&*reply)) {
      const auto encoded = codec.encodeSuccessEnvelope(*value);
      if (!encoded) std::abort();
      const auto again = codec.decodeEnvelope(*encoded);
      if (!again || !std::holds_alternative<Value>(*again)) std::abort();
      if (codec.encodeSuccessEnvelope(std::get<Value>(*again)) != encoded) std::abort();
    }
  }
  return 0;
}
