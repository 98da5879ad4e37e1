#include "platform/file_error.h"

#include <cstring>

namespace corvane::platform {

FileError FileError::system(std::string_view operation, std::string_view path, int code) {
  return FileError{std::string(operation), std::string(path), Reason::kSystem, code};
}

FileError FileError::of(Reason reason, std::string_view operation, std::string_view path) {
  return FileError{std::string(operation), std::string(path), reason, 0};
}

std::string FileError::description() const {
  switch (reason) {
    case Reason::kNotRegular: return "Not a regular file";
    case Reason::kChanged:
      return operation == "list" ? "Folder changed while it was walked" : "File changed while it was read";
    case Reason::kPseudoFile: return "Size not known before reading (a pseudo-file)";
    case Reason::kSystem: break;
  }
  char buffer[256];
  // The GNU strerror_r is thread-safe and returns the text, which may or may not be in the buffer.
  return ::strerror_r(code, buffer, sizeof buffer);
}

}  // namespace corvane::platform
