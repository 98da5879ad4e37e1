#pragma once

#include <optional>
#include <string>

#include "cli/cli_forward.h"

namespace corvane::tool {

// Options that every subcommand shares.
struct CommonOptions {
  bool trace = false;                 // show the channel's bytes
  bool quiet = false;                 // no progress display (and, checking, no OK lines)
  bool verbose = false;               // show the plug-in's own printed lines
  std::optional<std::string> plugin;  // the plug-in library to load, instead of looking for it
};

// Adds -q, -v and --trace to a command. The top level and every subcommand get them, bound to
// the same options, so they go before or after the subcommand and each help lists them.
void addCommonOptions(CLI::App& command, CommonOptions& common);

// The end of a subcommand's help: its examples, then its exit statuses.
std::string helpFooter(const std::string& examples, const std::string& statuses);

}  // namespace corvane::tool
