#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/context.h"
#include "cli/error.h"
#include "host/method_call.h"
#include "host/method_codec.h"
#include "platform/console.h"
#include "platform/file_status.h"
#include "platform/file_system.h"
#include "plugin/digest_kind.h"

namespace corvane::tool {

class HostFiles;
class PluginHost;

// What the command lends the plug-in for a run.
struct Lending {
  std::shared_ptr<platform::Console> console;  // its printed lines; none: its standard output
  std::optional<std::string> libraryLocation;  // the photo library's folder; none: an empty one
};

// A file's digest, and the status of the file the plug-in read as its file layer saw it from the
// first read to the last (none only when the plug-in did not tell).
struct FileDigest {
  std::string digest;
  std::optional<platform::FileStatus> status;
};

// The command's one door to the plug-in: its shared library loaded and registered once, and one
// function per method of the channel "corvane", each giving the answer's value or why there is
// none. Safe to call from several threads at once; each call waits for its answer.
class PluginClient {
 public:
  // Finds and loads the plug-in (--plugin, $CORVANE_PLUGIN, beside the command or in its
  // installed tree), lending it `lending`; calls are traced with --trace.
  static Result<std::unique_ptr<PluginClient>> start(const Context& context, Lending lending);
  ~PluginClient();
  PluginClient(const PluginClient&) = delete;
  PluginClient& operator=(const PluginClient&) = delete;

  Result<std::string> getPlatformVersion() const;
  // A call that fails for want of a file descriptor is made again after a pause, so a low limit
  // on open files slows a run down instead of failing its files.
  Result<FileDigest> fingerprintOfFile(std::string_view path) const;
  Result<FileDigest> hashFile(std::string_view path) const;
  Result<std::string> fingerprintOfVideoAsset(std::string_view identifier) const;
  Result<std::string> hashAsset(std::string_view identifier) const;
  Result<bool> getIfAssetExistInAlbum(std::string_view asset, std::string_view album, bool isUserAlbum) const;

  // The digest of a file the command reads for the plug-in (a stream, a device), lent to it
  // under `name` for the call: a name that leads to that very stream or device, so that no other
  // file can be meant by it.
  Result<FileDigest> digestOfLentFile(DigestKind kind, const std::string& name, const platform::File& file) const;

  // The file methods, and the asset methods, by the digest they give.
  Result<FileDigest> digestOfFile(DigestKind kind, std::string_view path) const;
  Result<std::string> digestOfAsset(DigestKind kind, std::string_view identifier) const;

  // Any call, its reply as it came (`corvane call`).
  host::MethodReply call(const host::FlutterMethodCall& call) const;

  const std::string& libraryPath() const;
  double versionNumber() const;
  const std::string& versionString() const;

 private:
  PluginClient(std::unique_ptr<PluginHost> host, std::shared_ptr<HostFiles> files, bool trace);
  Result<FileDigest> fileCall(std::string_view method, std::string_view path) const;
  Result<std::string> textCall(std::string_view method, std::string_view argument) const;

  std::unique_ptr<PluginHost> host_;
  std::shared_ptr<HostFiles> files_;  // what host_ lends to open the file methods' paths
  const bool trace_;
};

}  // namespace corvane::tool
