#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "photo_library/photo_library.h"
#include "photo_library/worker_pool.h"

namespace corvane::photo_library {

// A photo library kept as a folder. Every regular file below the root whose extension names an
// image or a video is an asset, identified by its path relative to the root; every folder below
// the root is an album holding the assets directly in it. Hidden files and folders are skipped.
// Identifiers are untrusted: one that is absolute, has an empty, "." or ".." segment, a NUL
// byte, or resolves (through links) outside the root names nothing. A lookup costs one path
// resolution, never a scan. Requests are served by the library's own threads.
class FolderLibrary final : public PhotoLibrary {
 public:
  static constexpr std::size_t kChunkSize = 1 << 20;

  // The root must be a folder; `threads` 0 means one per processor (at least two).
  static std::shared_ptr<FolderLibrary> open(const std::filesystem::path& root, std::string& error,
                                             std::size_t threads = 0);
  FolderLibrary(std::string root, std::size_t threads);
  // Shuts down: requests still pending are completed, cancelled.
  ~FolderLibrary() override;

  // Completes every pending request, cancelled; later requests complete at once, cancelled.
  void shutdown() { pool_.shutdown(); }

  FetchResult<Asset> fetchAssetsWithLocalIdentifiers(const std::vector<std::string>& identifiers) override;
  FetchResult<AssetCollection> fetchAssetCollectionsWithLocalIdentifiers(
      const std::vector<std::string>& identifiers) override;
  FetchResult<AssetCollection> fetchAssetCollectionsContainingAsset(const Asset& asset,
                                                                    AssetCollectionType type) override;
  std::vector<std::shared_ptr<const AssetResource>> assetResourcesForAsset(const Asset& asset) override;
  RequestID requestAVAssetForVideo(const Asset& asset, const VideoRequestOptions& options,
                                   VideoResultHandler resultHandler) override;
  RequestID requestDataForAssetResource(const AssetResource& resource, DataReceivedHandler dataReceivedHandler,
                                        DataCompletionHandler completionHandler) override;
  FetchResult<Asset> fetchAssets() override;
  FetchResult<AssetCollection> fetchAssetCollectionsWithType(AssetCollectionType type) override;
  FetchResult<Asset> fetchAssetsInAssetCollection(const AssetCollection& collection) override;

  // The file of an asset, or of an album's folder, that an identifier names; none when it names
  // nothing. Always below the root.
  std::optional<std::string> assetPath(std::string_view identifier) const;
  std::optional<std::string> albumPath(std::string_view identifier) const;

  // The media type a file name's extension gives, if it names an image or a video.
  static std::optional<MediaType> mediaTypeOfName(std::string_view name);

 private:
  std::optional<std::string> confinedPath(std::string_view identifier) const;
  RequestID nextRequest();

  const std::string root_;  // resolved, without a trailing '/'
  std::atomic<RequestID> lastRequest_{0};
  WorkerPool pool_;
};

}  // namespace corvane::photo_library
