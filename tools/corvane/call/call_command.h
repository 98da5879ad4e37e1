#pragma once

#include <optional>
#include <string>

#include "cli/cli_forward.h"
#include "cli/common_options.h"
#include "cli/context.h"

namespace corvane::tool {

struct CallOptions {
  std::string method;
  std::optional<std::string> argument;
  std::optional<std::string> library;
};

void addCallCommand(CLI::App& app, CallOptions& options, CommonOptions& common);
int runCall(const Context& context, const CallOptions& options);

}  // namespace corvane::tool
