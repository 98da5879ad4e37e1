#include "file_hashing/digest_text.h"
#include "platform/sha256.h"
#include "shell/corvane_plugin.h"

namespace corvane::shell {

void CorvanePlugin::hashAsset(const std::string& assetId, host::FlutterResult result) {
  auto& library = *environment_.photoLibrary;
  const auto assets = library.fetchAssetsWithLocalIdentifiers({assetId});
  if (assets.count() == 0) {
    result(host::Value{});
    return;
  }
  const auto asset = assets.objectAtIndexedSubscript(0);
  std::vector<std::shared_ptr<const photo_library::AssetResource>> resources;
  if (asset) resources = library.assetResourcesForAsset(*asset);
  if (resources.empty() || !resources.front()) {
    // Nothing to request, but the call is still owed its one answer.
    result(host::Value{});
    return;
  }
  // Both handlers share the state; the library runs them one at a time, so it needs no lock.
  auto sha = std::make_shared<platform::Sha256>();
  library.requestDataForAssetResource(
      *resources.front(), [sha](std::span<const std::uint8_t> chunk) { sha->update(chunk); },
      [sha, result](std::optional<photo_library::LibraryError> error) {
        try {
          if (error) {
            result(host::Value{});  // never a digest of part of the data
            return;
          }
          const auto digest = sha->finalize();
          result(digest ? host::Value(file_hashing::digestText(*digest)) : host::Value{});
        } catch (...) {
          // Nothing may escape into the library's thread; the host answers nil for a result
          // that was never answered.
        }
      });
}

}  // namespace corvane::shell
