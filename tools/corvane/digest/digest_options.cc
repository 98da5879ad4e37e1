#include "digest/digest_options.h"

namespace corvane::tool {

const char* algorithmName(DigestKind kind) { return kind == DigestKind::kFingerprint ? "FINGERPRINT" : "SHA256"; }
const char* jsonKey(DigestKind kind) { return kind == DigestKind::kFingerprint ? "fingerprint" : "sha256"; }

}  // namespace corvane::tool
