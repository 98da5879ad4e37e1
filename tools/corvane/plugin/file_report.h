#pragma once

#include <optional>

#include "platform/file_observer.h"

namespace corvane::tool {

// What the plug-in's file layer found for the file calls made on one thread: the status of the
// file a digest was made of, or why the call failed. The plug-in's file methods run on the
// calling thread, so each thread reads back what its own last call found.
struct FileReport {
  std::optional<platform::FileStatus> status;
  std::optional<platform::FileError> error;
};

// Lent to the plug-in; records into the calling thread's report.
class FileReporter final : public platform::FileObserver {
 public:
  void fileRead(std::string_view path, const platform::FileStatus& status) override;
  void fileFailed(std::string_view path, const platform::FileError& error) override;

  // This thread's report since the last take, which starts a new one.
  static FileReport take();
};

}  // namespace corvane::tool
