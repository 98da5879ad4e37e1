#pragma once

#include <memory>

#include "host/embedded_engine.h"
#include "host/plugin_registrar.h"
#include "photo_library/photo_library.h"
#include "platform/console.h"
#include "platform/device_info.h"
#include "platform/file_observer.h"
#include "platform/file_system.h"

namespace corvane::shell {

// The platform services a plug-in object works with. A host lends its own through the
// registrar under the names below, each standing for one type; whatever it does not lend comes
// from the process defaults.
struct Environment {
  static constexpr std::string_view kConsoleService = "corvane.console";            // platform::Console
  static constexpr std::string_view kDeviceInfoService = "corvane.deviceInfo";      // platform::DeviceInfo
  static constexpr std::string_view kPhotoLibraryService = "corvane.photoLibrary";  // photo_library::PhotoLibrary
  static constexpr std::string_view kFileSystemService = "corvane.fileSystem";      // platform::FileSystem
  static constexpr std::string_view kFileObserverService = "corvane.fileObserver";  // platform::FileObserver

  std::shared_ptr<platform::Console> console;
  std::shared_ptr<const platform::DeviceInfo> deviceInfo;
  // The device's photo library; without one lent by the host, an empty library.
  std::shared_ptr<photo_library::PhotoLibrary> photoLibrary;
  std::shared_ptr<platform::FileSystem> fileSystem;
  // Told what the file methods found; none by default.
  std::shared_ptr<platform::FileObserver> fileObserver;

  static Environment defaults();
  static Environment fromRegistrar(const host::FlutterPluginRegistrar& registrar);

  // What a host lends: the services set here, each under its name as the type it stands for.
  host::ServiceMap services() const;
};

}  // namespace corvane::shell
