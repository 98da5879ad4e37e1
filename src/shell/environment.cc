#include "shell/environment.h"

namespace corvane::shell {
namespace {

template <typename Service>
std::shared_ptr<Service> lent(const host::FlutterPluginRegistrar& registrar, std::string_view name,
                              std::shared_ptr<Service> fallback) {
  auto service = std::static_pointer_cast<Service>(registrar.lookupService(name));
  return service ? service : std::move(fallback);
}

template <typename Service>
void lend(host::ServiceMap& services, std::string_view name, const std::shared_ptr<Service>& service) {
  // Each service goes in as the pointer type its name stands for, so that the cast back is exact.
  using Mutable = std::remove_const_t<Service>;
  if (service) services.emplace(name, std::static_pointer_cast<void>(std::const_pointer_cast<Mutable>(service)));
}

}  // namespace

Environment Environment::defaults() {
  return Environment{platform::standardOutputConsole(), platform::hostDeviceInfo(),
                     std::make_shared<photo_library::EmptyPhotoLibrary>(), platform::posixFileSystem(), nullptr};
}

host::ServiceMap Environment::services() const {
  host::ServiceMap services;
  lend(services, kConsoleService, console);
  lend(services, kDeviceInfoService, deviceInfo);
  lend(services, kPhotoLibraryService, photoLibrary);
  lend(services, kFileSystemService, fileSystem);
  lend(services, kFileObserverService, fileObserver);
  return services;
}

Environment Environment::fromRegistrar(const host::FlutterPluginRegistrar& registrar) {
  auto environment = defaults();
  environment.console = lent(registrar, kConsoleService, std::move(environment.console));
  environment.deviceInfo = lent(registrar, kDeviceInfoService, std::move(environment.deviceInfo));
  environment.photoLibrary = lent(registrar, kPhotoLibraryService, std::move(environment.photoLibrary));
  environment.fileSystem = lent(registrar, kFileSystemService, std::move(environment.fileSystem));
  environment.fileObserver = lent(registrar, kFileObserverService, std::move(environment.fileObserver));
  return environment;
}

}  // namespace corvane::shell
