#include "shell/lent_services.h"

#include <string>

#include "host/host_struct.h"

namespace corvane::shell {
namespace {

class LentConsole final : public platform::Console {
 public:
  explicit LentConsole(const CorvaneConsole& console) : console_(console) {}
  void printLine(std::string_view text) override { console_.print_line(console_.user_data, text.data(), text.size()); }

 private:
  const CorvaneConsole console_;
};

std::int32_t typeCode(platform::FileType type) {
  switch (type) {
    case platform::FileType::kRegular: return CORVANE_FILE_REGULAR;
    case platform::FileType::kDirectory: return CORVANE_FILE_DIRECTORY;
    case platform::FileType::kSymbolicLink: return CORVANE_FILE_SYMBOLIC_LINK;
    case platform::FileType::kFifo: return CORVANE_FILE_FIFO;
    case platform::FileType::kSocket: return CORVANE_FILE_SOCKET;
    case platform::FileType::kDevice: return CORVANE_FILE_DEVICE;
    case platform::FileType::kUnknown: break;
  }
  return CORVANE_FILE_UNKNOWN;
}

std::int32_t reasonCode(platform::FileError::Reason reason) {
  switch (reason) {
    case platform::FileError::Reason::kNotRegular: return CORVANE_FILE_ERROR_NOT_REGULAR;
    case platform::FileError::Reason::kChanged: return CORVANE_FILE_ERROR_CHANGED;
    case platform::FileError::Reason::kPseudoFile: return CORVANE_FILE_ERROR_PSEUDO_FILE;
    case platform::FileError::Reason::kSystem: break;
  }
  return CORVANE_FILE_ERROR_SYSTEM;
}

class LentFileObserver final : public platform::FileObserver {
 public:
  explicit LentFileObserver(const CorvaneFileObserver& observer) : observer_(observer) {}

  void fileRead(std::string_view path, const platform::FileStatus& status) override {
    if (observer_.file_read == nullptr) return;
    const CorvaneFileStatus lent{
        sizeof(CorvaneFileStatus), typeCode(status.type), status.size, status.device, status.inode, status.links,
        status.modifiedNs,         status.changedNs};
    observer_.file_read(observer_.user_data, path.data(), path.size(), &lent);
  }

  void fileFailed(std::string_view path, const platform::FileError& error) override {
    if (observer_.file_failed == nullptr) return;
    const std::string description = error.description();
    const CorvaneFileError lent{
        sizeof(CorvaneFileError), error.operation.data(), error.operation.size(), reasonCode(error.reason), error.code,
        description.data(),       description.size()};
    observer_.file_failed(observer_.user_data, path.data(), path.size(), &lent);
  }

 private:
  const CorvaneFileObserver observer_;
};

}  // namespace

LentServices LentServices::from(const CorvaneLentServices* lent) {
  LentServices services;
  if (const auto filled = host::copyOfHostStruct(lent)) {
    auto& environment = services.environment;
    if (const auto console = host::copyOfHostStruct(filled->console); console && console->print_line != nullptr) {
      environment.console = std::make_shared<LentConsole>(*console);
    }
    if (filled->system_version != nullptr) {
      environment.deviceInfo = std::make_shared<platform::FixedDeviceInfo>(filled->system_version);
    }
    if (const auto observer = host::copyOfHostStruct(filled->file_observer)) {
      environment.fileObserver = std::make_shared<LentFileObserver>(*observer);
    }
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
