#pragma once

namespace corvane::tool {

// The two digests the channel gives: the sampled fingerprint, and the SHA-256 of the whole
// content.
enum class DigestKind { kFingerprint, kHash };

}  // namespace corvane::tool
