#pragma once

#include <optional>
#include <string>

#include "platform/console.h"
#include "platform/file_observer.h"
#include "platform/file_system.h"

namespace corvane::file_hashing {

// What the file operations work with: the file system they read through, the console their
// lines go to, and whoever wants to know what they found (may be none).
struct FileContext {
  platform::FileSystem& fileSystem;
  platform::Console& console;
  platform::FileObserver* observer = nullptr;

  void read(std::string_view path, const platform::FileStatus& status) const {
    if (observer != nullptr) observer->fileRead(path, status);
  }
  void failed(std::string_view path, const platform::FileError& error) const {
    if (observer != nullptr) observer->fileFailed(path, error);
  }
  // A failure once the file was open: one "Error: " line with its reason, and no digest.
  std::optional<std::string> failWithLine(std::string_view path, const platform::FileError& error) const {
    console.printLine("Error: " + error.description());
    failed(path, error);
    return std::nullopt;
  }
};

}  // namespace corvane::file_hashing
