#pragma once

#include <optional>
#include <string>

#include "cli/cli_forward.h"
#include "cli/common_options.h"
#include "cli/context.h"

namespace corvane::tool {

// `corvane assets`, `corvane albums` and `corvane in-album`: what a photo folder holds.
struct LibraryOptions {
  std::optional<std::string> library;
  std::optional<std::string> album;  // assets: list this album only
  bool json = false;
  std::string asset;      // in-album
  std::string albumId;    // in-album
  bool anyAlbum = false;  // in-album: send "isUserAlbum" false
};

void addLibraryCommands(CLI::App& app, LibraryOptions& options, CommonOptions& common);
// Runs the library subcommand that was parsed, if any; none when it was not one of them.
std::optional<int> runLibraryCommand(const CLI::App& app, const Context& context, const LibraryOptions& options);

}  // namespace corvane::tool
