#include "platform/device_info.h"

#include <sys/utsname.h>

#include <optional>
#include <sstream>

#include "platform/file_system.h"

namespace corvane::platform {
namespace {

std::optional<std::string> osReleaseVersion(const char* file) {
  const auto content = readSmallFile(*posixFileSystem(), file);
  if (!content) return std::nullopt;
  std::istringstream in(*content);
  std::string line;
  while (std::getline(in, line)) {
    constexpr std::string_view kKey = "VERSION_ID=";
    if (!line.starts_with(kKey)) continue;
    std::string value = line.substr(kKey.size());
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (!value.empty()) return value;
  }
  return std::nullopt;
}

}  // namespace

std::string HostDeviceInfo::systemVersion() const {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    if (auto version = osReleaseVersion(file)) return *version;
  }
  struct utsname names {};
  if (::uname(&names) == 0) return names.release;
  return "unknown";
}

std::shared_ptr<const DeviceInfo> hostDeviceInfo() {
  static const auto info = std::make_shared<HostDeviceInfo>();
  return info;
}

}  // namespace corvane::platform
