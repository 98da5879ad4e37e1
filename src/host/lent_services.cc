#include "host/lent_services.h"

#include <string>
#include <string_view>

#include "host/host_struct.h"

namespace corvane::host {
namespace {

// Texts come as pointer and length; an empty one may come as a null pointer.
std::string_view textOf(const char* text, std::size_t length) {
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

class LentConsole final : public platform::Console {
 public:
  explicit LentConsole(const CorvaneConsole& console) : console_(console) {}
  void printLine(std::string_view text) override { console_.print_line(console_.user_data, text.data(), text.size()); }

 private:
  const CorvaneConsole console_;
};

class LentFileObserver final : public platform::FileObserver {
 public:
  explicit LentFileObserver(const CorvaneFileObserver& observer) : observer_(observer) {}

  void fileRead(std::string_view path, const platform::FileStatus& status) override {
    if (observer_.file_read == nullptr) return;
    const CorvaneFileStatus lent{
        sizeof(CorvaneFileStatus), fileTypeCode(status.type), status.size, status.device, status.inode, status.links,
        status.modifiedNs,         status.changedNs};
    observer_.file_read(observer_.user_data, path.data(), path.size(), &lent);
  }

  void fileFailed(std::string_view path, const platform::FileError& error) override {
    if (observer_.file_failed == nullptr) return;
    const std::string description = error.description();
    const CorvaneFileError lent{sizeof(CorvaneFileError),
                                error.operation.data(),
                                error.operation.size(),
                                fileErrorReasonCode(error.reason),
                                error.code,
                                description.data(),
                                description.size()};
    observer_.file_failed(observer_.user_data, path.data(), path.size(), &lent);
  }

 private:
  const CorvaneFileObserver observer_;
};

// The host's ends of the structs: the plug-in calls them through C, so nothing may escape.
void printLine(void* console, const char* text, std::size_t length) noexcept {
  try {
    static_cast<platform::Console*>(console)->printLine(textOf(text, length));
  } catch (...) {
  }
}

void fileRead(void* observer, const char* path, std::size_t length, const CorvaneFileStatus* lent) noexcept {
  const auto s = copyOfHostStruct(lent);
  if (!s) return;
  const platform::FileStatus status{fileTypeOfCode(s->type), s->size,      s->device, s->inode, s->links,
                                    s->modified_ns,          s->changed_ns};
  try {
    static_cast<platform::FileObserver*>(observer)->fileRead(textOf(path, length), status);
  } catch (...) {
  }
}

void fileFailed(void* observer, const char* path, std::size_t length, const CorvaneFileError* lent) noexcept {
  const auto e = copyOfHostStruct(lent);
  if (!e) return;
  try {
    const platform::FileError error{std::string(textOf(e->operation, e->operation_length)),
                                    std::string(textOf(path, length)), fileErrorReasonOfCode(e->reason),
                                    e->error_number};
    static_cast<platform::FileObserver*>(observer)->fileFailed(error.path, error);
  } catch (...) {
  }
}

}  // namespace

std::int32_t fileTypeCode(platform::FileType type) {
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

platform::FileType fileTypeOfCode(std::int32_t code) {
  switch (code) {
    case CORVANE_FILE_REGULAR: return platform::FileType::kRegular;
    case CORVANE_FILE_DIRECTORY: return platform::FileType::kDirectory;
    case CORVANE_FILE_SYMBOLIC_LINK: return platform::FileType::kSymbolicLink;
    case CORVANE_FILE_FIFO: return platform::FileType::kFifo;
    case CORVANE_FILE_SOCKET: return platform::FileType::kSocket;
    case CORVANE_FILE_DEVICE: return platform::FileType::kDevice;
    default: return platform::FileType::kUnknown;
  }
}

std::int32_t fileErrorReasonCode(platform::FileError::Reason reason) {
  switch (reason) {
    case platform::FileError::Reason::kNotRegular: return CORVANE_FILE_ERROR_NOT_REGULAR;
    case platform::FileError::Reason::kChanged: return CORVANE_FILE_ERROR_CHANGED;
    case platform::FileError::Reason::kPseudoFile: return CORVANE_FILE_ERROR_PSEUDO_FILE;
    case platform::FileError::Reason::kSystem: break;
  }
  return CORVANE_FILE_ERROR_SYSTEM;
}

platform::FileError::Reason fileErrorReasonOfCode(std::int32_t code) {
  switch (code) {
    case CORVANE_FILE_ERROR_NOT_REGULAR: return platform::FileError::Reason::kNotRegular;
    case CORVANE_FILE_ERROR_CHANGED: return platform::FileError::Reason::kChanged;
    case CORVANE_FILE_ERROR_PSEUDO_FILE: return platform::FileError::Reason::kPseudoFile;
    default: return platform::FileError::Reason::kSystem;
  }
}

std::shared_ptr<platform::Console> lentConsole(const CorvaneConsole* console) {
  const auto copy = copyOfHostStruct(console);
  if (!copy || copy->print_line == nullptr) return nullptr;
  return std::make_shared<LentConsole>(*copy);
}

std::shared_ptr<platform::FileObserver> lentFileObserver(const CorvaneFileObserver* observer) {
  const auto copy = copyOfHostStruct(observer);
  if (!copy) return nullptr;
  return std::make_shared<LentFileObserver>(*copy);
}

CorvaneConsole lendConsole(platform::Console& console) { return {sizeof(CorvaneConsole), &console, &printLine}; }

CorvaneFileObserver lendFileObserver(platform::FileObserver& observer) {
  return {sizeof(CorvaneFileObserver), &observer, &fileRead, &fileFailed};
}

}  // namespace corvane::host
