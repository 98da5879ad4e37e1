#pragma once

#include <optional>

#include "platform/file_observer.h"
#include "plugin_host.h"

namespace corvane::tool {

// What the plug-in's file layer found for the file calls made on one thread: the status of the
// file a digest was made of, or why the call failed. The plug-in's file methods run on the
// calling thread, so each worker reads back what its own last call found.
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

struct ReportedReply {
  host::MethodReply reply;
  FileReport report;
};

// A file method called through `host` (which lends a FileReporter), with what the plug-in's file
// layer found. A call that failed for want of a file descriptor is made again after a pause.
ReportedReply callReporting(const PluginHost& host, const host::FlutterMethodCall& call, bool trace);

}  // namespace corvane::tool
