#include "file_hashing/file_fingerprint.h"
#include "photo_library/file_url.h"
#include "shell/corvane_plugin.h"

namespace corvane::shell {

void CorvanePlugin::fingerprintOfVideoAsset(const std::string& assetId, host::FlutterResult result) {
  using namespace photo_library;
  auto& library = *environment_.photoLibrary;
  const auto assets = library.fetchAssetsWithLocalIdentifiers({assetId});
  if (assets.count() == 0) {
    result(host::Value{});
    return;
  }
  const auto asset = assets.objectAtIndexedSubscript(0);
  if (!asset || asset->mediaType() != MediaType::kVideo) {
    environment_.console->printLine("It is no a video asset " + assetId);
    result(host::Value{});
    return;
  }
  const VideoRequestOptions options;
  library.requestAVAssetForVideo(
      *asset, options,
      [assetId, result, plugin = weak_from_this(), console = environment_.console](
          std::shared_ptr<const AVAsset> avAsset, std::shared_ptr<const AVAudioMix>,
          std::shared_ptr<const InfoDictionary>) {
        try {
          const auto noPath = [&] {
            console->printLine("Can not get a origin video path from the assetId:" + assetId);
            result(host::Value{});
          };
          const auto* urlAsset = dynamic_cast<const AVURLAsset*>(avAsset.get());
          if (urlAsset == nullptr) return noPath();
          auto strongPlugin = plugin.lock();
          if (!strongPlugin) {
            result(host::Value{});
            return;
          }
          // Only a file URL names a file here; any other would be misread as a local path.
          const auto path = pathOfFileURL(urlAsset->URL());
          if (!path) return noPath();
          // The file the library opened, when it hands it over: the video is not looked up by
          // name again, so nothing swapped in meanwhile can be read in its place.
          std::optional<std::string> fingerprint;
          if (const auto& file = urlAsset->openedFile()) {
            fingerprint = file_hashing::fingerprintOfOpenFile(
                *file, *path, {strongPlugin->fileDeli, strongPlugin->fileReadSize}, strongPlugin->fileContext());
          } else {
            fingerprint = strongPlugin->fingerprintOfFile(*path);
          }
          strongPlugin.reset();
          result(fingerprint ? host::Value(std::move(*fingerprint)) : host::Value{});
        } catch (...) {
          // Nothing may escape into the library's thread; the host answers nil for a result
          // that was never answered.
        }
      });
}

}  // namespace corvane::shell
