#include "shell/environment.h"

namespace corvane::shell {
namespace {

template <typename Service>
std::shared_ptr<Service> lent(const host::FlutterPluginRegistrar& registrar, std::string_view name,
                              std::shared_ptr<Service> fallback) {
  auto service = std::static_pointer_cast<Service>(registrar.lookupService(name));
  return service ? service : std::move(fallback);
}

}  // namespace

Environment Environment::defaults() {
  return Environment{platform::standardOutputConsole(), platform::hostDeviceInfo(),
                     std::make_shared<photo_library::EmptyPhotoLibrary>()};
}

host::ServiceMap Environment::services() const {
  // Each service goes in as the pointer type its name stands for, so that the cast back is exact.
  host::ServiceMap lent;
  if (console) lent.emplace(kConsoleService, std::static_pointer_cast<void>(console));
  if (deviceInfo) {
    lent.emplace(kDeviceInfoService,
                 std::static_pointer_cast<void>(std::const_pointer_cast<platform::DeviceInfo>(deviceInfo)));
  }
  if (photoLibrary) lent.emplace(kPhotoLibraryService, std::static_pointer_cast<void>(photoLibrary));
  return lent;
}

Environment Environment::fromRegistrar(const host::FlutterPluginRegistrar& registrar) {
  auto environment = defaults();
  environment.console = lent(registrar, kConsoleService, std::move(environment.console));
  environment.deviceInfo = lent(registrar, kDeviceInfoService, std::move(environment.deviceInfo));
  environment.photoLibrary = lent(registrar, kPhotoLibraryService, std::move(environment.photoLibrary));
  return environment;
}

}  // namespace corvane::shell
