#include "output.h"

#include <unistd.h>

#include <string>

#include "platform/console.h"

namespace corvane::tool {

void printOut(std::string_view line) { platform::DescriptorConsole(STDOUT_FILENO).printLine(line); }
void printErr(std::string_view line) { platform::DescriptorConsole(STDERR_FILENO).printLine(line); }
void printError(std::string_view text) { printErr(std::string("corvane: ").append(text)); }

std::string jsonLine(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace corvane::tool
