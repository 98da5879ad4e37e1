#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/cli_forward.h"

namespace corvane::tool {

// Checks of the options that take numbers. A wrong value is a usage error that says what the
// option takes, after its name (CLI11 puts the name first). Their descriptions are empty, so
// help shows the option's own placeholder only.

// A number of calls to run at once: a whole number from 1 to 1024.
CLI::Validator callCount();

// A size in bytes: a whole number, bare or followed by K, M, G, T, P or E for powers of 1024
// (KB, KiB and B alike, in any case). The value is replaced by its number of bytes.
CLI::Validator byteSize();

// The number of bytes `text` says, as byteSize() reads it; none when it says none or too many.
std::optional<std::uint64_t> parseByteSize(std::string_view text);

}  // namespace corvane::tool
