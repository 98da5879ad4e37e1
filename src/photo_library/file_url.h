#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::photo_library {

// The file:// URL of an absolute path, every byte but the unreserved ones and '/' percent-encoded.
std::string fileURLWithPath(std::string_view absolutePath);

// The path a file URL names (percent-decoded, without query or fragment), or none when the URL
// is not a file URL of this machine, or is malformed, or would decode to a NUL byte.
std::optional<std::string> pathOfFileURL(std::string_view url);

}  // namespace corvane::photo_library
