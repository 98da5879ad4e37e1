#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "corvane/corvane.h"
#include "file_hashing/file_context.h"
#include "host/plugin.h"
#include "host/plugin_registrar.h"
#include "shell/environment.h"

namespace corvane::shell {

// The plug-in: answers the calls of the channel "corvane". Create it with std::make_shared (as
// registration does), so that asynchronous work can hold it weakly.
class CorvanePlugin final : public host::FlutterPlugin, public std::enable_shared_from_this<CorvanePlugin> {
 public:
  static constexpr std::string_view kChannelName = "corvane";

  // Registers a plug-in object working with `environment` on the registrar's channel "corvane".
  static void registerWithRegistrar(host::FlutterPluginRegistrar& registrar, Environment environment);
  // Registers through a registrar a host handed over in C, with what that host lends.
  static void registerWithRegistrar(CorvanePluginRegistrarRef registrar);

  // Services left empty in `environment` come from the defaults.
  explicit CorvanePlugin(Environment environment = Environment::defaults());

  // The largest file size hashed whole by the fingerprint, and the length of each sample.
  const std::uint64_t fileDeli;
  const std::uint64_t fileReadSize;

  void handle(const host::FlutterMethodCall& call, host::FlutterResult result) override;

  // The fingerprint of a library video's file; answers `result` itself, now or later, from the
  // library's thread. Holds the plug-in only weakly meanwhile: once it is gone, the answer is nil.
  void fingerprintOfVideoAsset(const std::string& assetId, host::FlutterResult result);
  // Whether an asset lies in an album; answers `result` with a boolean before returning.
  void getIfAssetExistInAlbum(const host::Value& arguments, host::FlutterResult result);
  // The sampled fingerprint of a file, or nil; prints the size line and its failures.
  std::optional<std::string> fingerprintOfFile(std::string_view filePath) const;
  // The SHA-256 of the first resource of an asset, hashed chunk by chunk as the library
  // delivers it; answers `result` itself, now or later.
  void hashAsset(const std::string& assetId, host::FlutterResult result);
  // The SHA-256 of a file's whole content, or nil; prints its failures.
  std::optional<std::string> hashFile(std::string_view filePath) const;

 private:
  file_hashing::FileContext fileContext() const;

  Environment environment_;
};

}  // namespace corvane::shell
