#include "shell/environment.h"

namespace corvane::shell {

Environment Environment::defaults() {
  return Environment{platform::standardOutputConsole(), platform::hostDeviceInfo(),
                     std::make_shared<photo_library::EmptyPhotoLibrary>(), platform::posixFileSystem(), nullptr};
}

Environment Environment::completed() && {
  auto fallback = defaults();
  if (!console) console = std::move(fallback.console);
  if (!deviceInfo) deviceInfo = std::move(fallback.deviceInfo);
  if (!photoLibrary) photoLibrary = std::move(fallback.photoLibrary);
  if (!fileSystem) fileSystem = std::move(fallback.fileSystem);
  return std::move(*this);
}

}  // namespace corvane::shell
