#include "photo_library/asset_operations.h"
#include "photo_library/file_url.h"

namespace corvane::photo_library {

void fingerprintOfVideoAsset(PhotoLibrary& library, const std::string& assetId, host::FlutterResult result,
                             std::weak_ptr<const FileFingerprinter> plugin, std::shared_ptr<platform::Console> console) {
  const auto assets = library.fetchAssetsWithLocalIdentifiers({assetId});
  if (assets.count() == 0) {
    result(host::Value{});
    return;
  }
  const auto asset = assets.objectAtIndexedSubscript(0);
  if (!asset || asset->mediaType() != MediaType::kVideo) {
    console->printLine("It is no a video asset " + assetId);
    result(host::Value{});
    return;
  }
  const VideoRequestOptions options;
  library.requestAVAssetForVideo(
      *asset, options,
      [assetId, result, plugin = std::move(plugin), console = std::move(console)](
          std::shared_ptr<const AVAsset> avAsset, std::shared_ptr<const AVAudioMix>, std::shared_ptr<const InfoDictionary>) {
        try {
          const auto noPath = [&] {
            console->printLine("Can not get a origin video path from the assetId:" + assetId);
            result(host::Value{});
          };
          const AVURLAsset* urlAsset = avAsset ? avAsset->asURLAsset() : nullptr;
          if (urlAsset == nullptr) return noPath();
          auto strongPlugin = plugin.lock();
          if (!strongPlugin) {
            result(host::Value{});
            return;
          }
          // Only a file URL names a file here; any other would be misread as a local path.
          const auto path = pathOfFileURL(urlAsset->URL());
          if (!path) return noPath();
          auto fingerprint = strongPlugin->fingerprintOfFile(*path);
          strongPlugin.reset();
          result(fingerprint ? host::Value(std::move(*fingerprint)) : host::Value{});
        } catch (...) {
          // Nothing may escape into the library's thread; the host answers nil for a result
          // that was never answered.
        }
      });
}

}  // namespace corvane::photo_library
