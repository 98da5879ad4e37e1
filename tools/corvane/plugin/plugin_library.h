#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace corvane::tool {

// Where the plug-in's shared library was looked for, and found.
struct PluginSearch {
  std::optional<std::string> found;
  std::vector<std::string> tried;  // in order
  std::string how;                 // how the places were chosen, for messages
};

// Finds the plug-in's shared library: the file `given` (--plugin), else the one the environment
// variable CORVANE_PLUGIN names, else the library beside the command (a build tree), then in
// the library folder of the installed tree the command belongs to (../lib).
PluginSearch findPluginLibrary(platform::FileSystem& fileSystem, const std::optional<std::string>& given);

// Why nothing was found, and how to point the command elsewhere.
std::string notFoundMessage(const PluginSearch& search);

}  // namespace corvane::tool
