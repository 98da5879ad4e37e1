#pragma once

#include <optional>
#include <string>

namespace corvane::tool {

// Options that every subcommand shares.
struct CommonOptions {
  bool trace = false;  // show the channel's bytes
  bool quiet = false;  // no progress, no plug-in lines
  std::optional<std::string> plugin;  // the plug-in library to load, instead of looking for it
};

}  // namespace corvane::tool
