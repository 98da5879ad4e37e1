#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace corvane::platform {

// A finished SHA-256 digest.
struct Sha256Digest {
  std::array<std::uint8_t, 32> bytes{};

  // "SHA256 digest: " followed by the 64 lower-case hexadecimal digits.
  std::string description() const;

  friend bool operator==(const Sha256Digest&, const Sha256Digest&) = default;
};

// An incremental SHA-256 state over OpenSSL's EVP interface. Should the library fail (it can
// only run out of memory), the state remembers it and finalize() yields nothing, so that a
// failure can never pass for a digest.
class Sha256 {
 public:
  Sha256();
  Sha256(Sha256&&) noexcept = default;
  Sha256& operator=(Sha256&&) noexcept = default;

  void update(std::span<const std::uint8_t> bytes);
  std::optional<Sha256Digest> finalize();

 private:
  struct ContextDeleter {
    void operator()(void* context) const;
  };
  std::unique_ptr<void, ContextDeleter> context_;
  bool failed_ = false;
};

}  // namespace corvane::platform
