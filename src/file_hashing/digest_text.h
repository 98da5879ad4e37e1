#pragma once

#include <string>

#include "platform/sha256.h"

namespace corvane::file_hashing {

// A digest's text form: its description with every "SHA256 digest: " removed, which leaves the
// 64 lower-case hexadecimal digits.
std::string digestText(const platform::Sha256Digest& digest);

}  // namespace corvane::file_hashing
