#pragma once

#include <memory>

#include "corvane/corvane.h"
#include "photo_library/folder_library.h"
#include "shell/environment.h"

namespace corvane::shell {

// What a host lends through the C registrar, as the plug-in's own services: the console, the
// device information and the file observer call the host's functions; the photo library is a
// folder library the plug-in opens itself from the lent location. Whatever the host does not
// lend (or a location that cannot be opened) comes from the defaults.
struct LentServices {
  Environment environment;
  // The library opened from the lent location, if any, so that its threads can be waited for.
  std::shared_ptr<photo_library::FolderLibrary> folderLibrary;

  static LentServices from(const CorvaneLentServices* lent);
};

}  // namespace corvane::shell
