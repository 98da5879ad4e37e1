#pragma once

#include <string_view>

#include "platform/file_error.h"
#include "platform/file_status.h"

namespace corvane::platform {

// Told, on the thread of the call, what the plug-in's file operations found: the status of a
// file a digest was made of (as it stood from the first read to the last), or why an operation
// failed. A host lends one to learn reasons and sizes without looking at the file again.
class FileObserver {
 public:
  virtual ~FileObserver() = default;
  virtual void fileRead(std::string_view path, const FileStatus& status) = 0;
  virtual void fileFailed(std::string_view path, const FileError& error) = 0;
};

}  // namespace corvane::platform
