#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/forwarding_file_system.h"

namespace corvane::tool {

// How the command's host opens the paths the plug-in's file methods are called with: as its
// file system opens them, except the names of files lent for a call, which open what was lent.
// The plug-in then reads a stream or a device that the user named, through a file the command
// presents, while its own file layer still refuses them for any other host.
class HostFiles final : public platform::ForwardingFileSystem {
 public:
  explicit HostFiles(std::shared_ptr<platform::FileSystem> files) : ForwardingFileSystem(std::move(files)) {}

  // `file` opens under `name` for as long as the lease lives. A name is lent once at a time.
  class Lease {
   public:
    Lease(HostFiles& files, std::string name, const platform::File& file);
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

   private:
    HostFiles& files_;
    const std::string name_;
  };

  platform::FileResult<std::unique_ptr<platform::File>> openFile(const platform::Directory* base, std::string_view path,
                                                                 platform::Resolve how) override;

 private:
  std::mutex mutex_;
  std::map<std::string, const platform::File*, std::less<>> lent_;
};

}  // namespace corvane::tool
