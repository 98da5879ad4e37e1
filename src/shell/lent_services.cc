#include "shell/lent_services.h"

#include "host/host_struct.h"
#include "host/lent_services.h"

namespace corvane::shell {

LentServices LentServices::from(const CorvaneLentServices* lent) {
  LentServices services;
  if (const auto filled = host::copyOfHostStruct(lent)) {
    auto& environment = services.environment;
    environment.console = host::lentConsole(filled->console);
    if (filled->system_version != nullptr) {
      environment.deviceInfo = std::make_shared<platform::FixedDeviceInfo>(filled->system_version);
    }
    environment.fileObserver = host::lentFileObserver(filled->file_observer);
    environment.fileSystem = host::lentFileOpener(filled->file_opener, platform::posixFileSystem());
    if (filled->photo_library_path != nullptr) {
      if (auto library = photo_library::FolderLibrary::open(filled->photo_library_path, platform::posixFileSystem())) {
        services.folderLibrary = std::move(*library);
        environment.photoLibrary = services.folderLibrary;
      }
    }
  }
  services.environment = std::move(services.environment).completed();
  return services;
}

}  // namespace corvane::shell
