#pragma once

#include <memory>

#include "photo_library/photo_library.h"
#include "platform/console.h"
#include "platform/device_info.h"
#include "platform/file_observer.h"
#include "platform/file_system.h"

namespace corvane::shell {

// The platform services a plug-in object works with. Whatever is left empty comes from the
// process defaults.
struct Environment {
  std::shared_ptr<platform::Console> console;
  std::shared_ptr<const platform::DeviceInfo> deviceInfo;
  // The device's photo library; by default an empty one.
  std::shared_ptr<photo_library::PhotoLibrary> photoLibrary;
  std::shared_ptr<platform::FileSystem> fileSystem;
  // Told what the file methods found; none by default.
  std::shared_ptr<platform::FileObserver> fileObserver;

  static Environment defaults();
  // This environment with every empty service taken from the defaults.
  Environment completed() &&;
};

}  // namespace corvane::shell
