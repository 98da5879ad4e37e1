#include "file_hashing/digest_text.h"
#include "photo_library/asset_operations.h"
#include "platform/sha256.h"

namespace corvane::photo_library {

void hashAsset(PhotoLibrary& library, const std::string& assetId, host::FlutterResult result) {
  const auto assets = library.fetchAssetsWithLocalIdentifiers({assetId});
  if (assets.count() == 0) {
    result(host::Value{});
    return;
  }
  const auto asset = assets.objectAtIndexedSubscript(0);
  std::vector<std::shared_ptr<const AssetResource>> resources;
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
      [sha, result](std::optional<LibraryError> error) {
        try {
          if (error) {
            result(host::Value{});  // never a digest of part of the data
            return;
          }
          const auto digest = sha->finalize();
          result(digest ? host::Value(file_hashing::digestText(*digest)) : host::Value{});
        } catch (...) {
          // As above: the host answers nil for a result left unanswered.
        }
      });
}

}  // namespace corvane::photo_library
