#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "text/utf8.h"

namespace corvane::tool {

// Standard base64 (RFC 4648), with padding.
std::string base64(std::string_view bytes);

// Puts a name (a path, an asset or album identifier) into a JSON object under `key`. JSON text
// holds only UTF-8, so a name that is not UTF-8 appears there with replacement characters and,
// exactly, under `key` + "_base64": its bytes in standard base64. A script takes the _base64
// field when there is one, else the plain one.
void putName(nlohmann::ordered_json& object, const std::string& key, std::string_view name);

// The same for a list of names: all of them under `key` + "_base64" too if any is not UTF-8.
template <typename Names>
void putNames(nlohmann::ordered_json& object, const std::string& key, const Names& names) {
  auto& plain = object[key] = nlohmann::ordered_json::array();
  bool allUtf8 = true;
  for (const auto& name : names) {
    plain.push_back(std::string(name));
    allUtf8 = allUtf8 && isValidUtf8(name);
  }
  if (allUtf8) return;
  auto& exact = object[key + "_base64"] = nlohmann::ordered_json::array();
  for (const auto& name : names) exact.push_back(base64(name));
}

}  // namespace corvane::tool
