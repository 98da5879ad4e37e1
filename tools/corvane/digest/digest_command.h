#pragma once

#include "cli/cli_forward.h"
#include "cli/common_options.h"
#include "cli/context.h"
#include "digest/digest_options.h"

namespace corvane::tool {

// `corvane fingerprint` and `corvane hash`: digests of files, standard input or library assets,
// printed as sha256sum does, or checked against such lists.
CLI::App* addDigestCommand(CLI::App& app, DigestKind kind, DigestOptions& options, CommonOptions& common);
int runDigest(const Context& context, DigestKind kind, const DigestOptions& options);

}  // namespace corvane::tool
