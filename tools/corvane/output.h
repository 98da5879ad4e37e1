#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace corvane::tool {

// Whole lines to standard output and standard error, each in one write.
void printOut(std::string_view line);
void printErr(std::string_view line);
// A one-line error message, "corvane: " followed by the text.
void printError(std::string_view text);

// JSON as one line; text that is not UTF-8 is shown with replacement characters.
std::string jsonLine(const nlohmann::ordered_json& json);

}  // namespace corvane::tool
