#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "options.h"

namespace corvane::tool {

struct CallOptions {
  std::string method;
  std::optional<std::string> argument;
  std::optional<std::string> library;
};

void addCallCommand(CLI::App& app, CallOptions& options, CommonOptions& common);
int runCall(const CommonOptions& common, const CallOptions& options);

}  // namespace corvane::tool
