#include "catalog/store/entry.h"

#include "platform/hex.h"

namespace corvane::tool::catalog {
namespace {

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Digest> digestOfText(std::string_view hex) {
  Digest digest{};
  if (hex.size() != 2 * digest.size()) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = digitValue(hex[2 * i]), low = digitValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}

std::string textOfDigest(const Digest& digest) { return platform::hexText(digest); }

Sameness compareContent(const Entry& a, const Entry& b, bool* confirmed) {
  if (confirmed != nullptr) *confirmed = false;
  if (a.size != b.size) return Sameness::kDifferent;
  bool compared = false;
  if (a.fingerprint && b.fingerprint) {
    if (*a.fingerprint != *b.fingerprint) return Sameness::kDifferent;
    compared = true;
  }
  if (a.sha256 && b.sha256) {
    if (*a.sha256 != *b.sha256) return Sameness::kDifferent;
    if (confirmed != nullptr) *confirmed = true;
    compared = true;
  }
  return compared ? Sameness::kSame : Sameness::kUnknown;
}

}  // namespace corvane::tool::catalog
