#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace corvane::tool {

// Puts a name (a path, an asset or album identifier) into a JSON object under `key`. JSON text
// holds only UTF-8, so a name that is not UTF-8 appears there with replacement characters and,
// exactly, under `key` + "_base64": its bytes in standard base64. A script takes the _base64
// field when there is one, else the plain one.
void putName(nlohmann::ordered_json& object, const std::string& key, std::string_view name);

// Standard base64 (RFC 4648), with padding.
std::string base64(std::string_view bytes);

}  // namespace corvane::tool
