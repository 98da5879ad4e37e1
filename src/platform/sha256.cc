#include "platform/sha256.h"

#include <openssl/evp.h>

#include <memory>

#include "platform/hex.h"

namespace corvane::platform {
namespace {

// Fetched once: an implicit fetch on every initialisation costs more than hashing a small file.
// Freed with the program (or the plug-in library, when a host unloads it).
const EVP_MD* sha256Algorithm() {
  static const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> algorithm(EVP_MD_fetch(nullptr, "SHA256", nullptr),
                                                                         &EVP_MD_free);
  return algorithm.get();
}

EVP_MD_CTX* context(void* p) { return static_cast<EVP_MD_CTX*>(p); }

}  // namespace

void Sha256::ContextDeleter::operator()(void* p) const { EVP_MD_CTX_free(context(p)); }

std::string Sha256Digest::description() const { return "SHA256 digest: " + hexText(bytes); }

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  const EVP_MD* algorithm = sha256Algorithm();
  failed_ = !context_ || algorithm == nullptr || EVP_DigestInit_ex(context(context_.get()), algorithm, nullptr) != 1;
}

void Sha256::update(std::span<const std::uint8_t> bytes) {
  if (failed_ || !context_ || bytes.empty()) return;
  failed_ = EVP_DigestUpdate(context(context_.get()), bytes.data(), bytes.size()) != 1;
}

std::optional<Sha256Digest> Sha256::finalize() {
  if (failed_ || !context_) return std::nullopt;
  Sha256Digest digest;
  unsigned int length = 0;
  failed_ = EVP_DigestFinal_ex(context(context_.get()), digest.bytes.data(), &length) != 1 || length != 32;
  if (failed_) return std::nullopt;
  // A finished context cannot take more bytes; any further use fails rather than lies.
  failed_ = true;
  return digest;
}

}  // namespace corvane::platform
