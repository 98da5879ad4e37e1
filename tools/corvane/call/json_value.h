#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "host/value.h"

namespace corvane::tool {

// A command-line argument as a call argument: JSON when it parses as JSON (objects become maps
// with text keys in the order written; whole numbers 32-bit when they fit, else 64-bit),
// otherwise the plain text. None when it is JSON nested deeper than the channel carries.
std::optional<host::Value> argumentValue(const std::string& text);

// A value as JSON, for printing answers.
nlohmann::ordered_json toJson(const host::Value& value);

}  // namespace corvane::tool
