#pragma once

#include <optional>
#include <string>

#include "cli/error.h"
#include "platform/file_system.h"

namespace corvane::tool {

// The user's pictures folder: XDG_PICTURES_DIR of the XDG user-dirs configuration, else ~/Pictures.
std::string defaultPicturesFolder(platform::FileSystem& fileSystem);

// The photo library to lend the plug-in, which opens it itself: `folder` when given, else the
// pictures folder, once it is seen to open as a folder. Unless `required`, a default folder that
// is missing or cannot be opened is no library at all (none: the plug-in then sees an empty one).
Result<std::optional<std::string>> libraryLocation(platform::FileSystem& fileSystem,
                                                   const std::optional<std::string>& folder, bool required);

}  // namespace corvane::tool
