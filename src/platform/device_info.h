#pragma once

#include <memory>
#include <string>

namespace corvane::platform {

// Facts about the device the plug-in runs on.
class DeviceInfo {
 public:
  virtual ~DeviceInfo() = default;
  virtual std::string systemVersion() const = 0;
};

// The host system's version: VERSION_ID of os-release, else the kernel's release.
class HostDeviceInfo final : public DeviceInfo {
 public:
  std::string systemVersion() const override;
};

// A fixed version text, for hosts that know better (and for tests).
class FixedDeviceInfo final : public DeviceInfo {
 public:
  explicit FixedDeviceInfo(std::string version) : version_(std::move(version)) {}
  std::string systemVersion() const override { return version_; }

 private:
  std::string version_;
};

std::shared_ptr<const DeviceInfo> hostDeviceInfo();

}  // namespace corvane::platform
