#pragma once

#include <memory>
#include <optional>
#include <string>

#include "photo_library/folder_library.h"

namespace corvane::tool {

// The user's pictures folder: XDG_PICTURES_DIR of the XDG user-dirs configuration, else ~/Pictures.
std::string defaultPicturesFolder();

// The folder library to hand the plug-in: `folder` when given, else the pictures folder. When
// the folder cannot be opened, says why in `error`. Unless `required`, a default folder that is
// missing or cannot be opened is no library at all (the plug-in then sees an empty one).
std::shared_ptr<photo_library::FolderLibrary> openLibrary(const std::optional<std::string>& folder, bool required,
                                                          std::string& error);

// The same choice as a location to lend the plug-in, which opens the library itself: the folder,
// once it is seen to open as one.
std::optional<std::string> libraryLocation(const std::optional<std::string>& folder, bool required, std::string& error);

}  // namespace corvane::tool
