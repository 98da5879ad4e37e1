#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "photo_library/asset.h"
#include "photo_library/av_asset.h"
#include "photo_library/fetch_result.h"

namespace corvane::photo_library {

// Requests return an identifier, which callers may ignore; nothing is ever cancelled.
using RequestID = std::int32_t;

// Options of a video request; only the defaults exist.
struct VideoRequestOptions {};

struct LibraryError {
  int code = 0;
  std::string description;
};

using InfoDictionary = std::map<std::string, std::string>;
using VideoResultHandler =
    std::function<void(std::shared_ptr<const AVAsset> asset, std::shared_ptr<const AVAudioMix> mix,
                       std::shared_ptr<const InfoDictionary> info)>;
using DataReceivedHandler = std::function<void(std::span<const std::uint8_t> chunk)>;
using DataCompletionHandler = std::function<void(std::optional<LibraryError> error)>;

// The device's photo library. Fetches are synchronous. Request handlers run later, on threads
// of the library's choosing, one handler of a request at a time: a video request's handler
// exactly once; a data request's chunks in order, then its completion exactly once.
// Implementations never throw.
class PhotoLibrary {
 public:
  virtual ~PhotoLibrary() = default;

  virtual FetchResult<Asset> fetchAssetsWithLocalIdentifiers(const std::vector<std::string>& identifiers) = 0;
  virtual FetchResult<AssetCollection> fetchAssetCollectionsWithLocalIdentifiers(
      const std::vector<std::string>& identifiers) = 0;
  virtual FetchResult<AssetCollection> fetchAssetCollectionsContainingAsset(const Asset& asset,
                                                                            AssetCollectionType type) = 0;
  virtual std::vector<std::shared_ptr<const AssetResource>> assetResourcesForAsset(const Asset& asset) = 0;

  virtual RequestID requestAVAssetForVideo(const Asset& asset, const VideoRequestOptions& options,
                                           VideoResultHandler resultHandler) = 0;
  virtual RequestID requestDataForAssetResource(const AssetResource& resource, DataReceivedHandler dataReceivedHandler,
                                                DataCompletionHandler completionHandler) = 0;

  // Browsing, for hosts that show what the library holds.
  virtual FetchResult<Asset> fetchAssets() = 0;
  virtual FetchResult<AssetCollection> fetchAssetCollectionsWithType(AssetCollectionType type) = 0;
  virtual FetchResult<Asset> fetchAssetsInAssetCollection(const AssetCollection& collection) = 0;
};

// A library with nothing in it: what a plug-in sees when its host lends it none.
class EmptyPhotoLibrary final : public PhotoLibrary {
 public:
  FetchResult<Asset> fetchAssetsWithLocalIdentifiers(const std::vector<std::string>&) override { return {}; }
  FetchResult<AssetCollection> fetchAssetCollectionsWithLocalIdentifiers(const std::vector<std::string>&) override {
    return {};
  }
  FetchResult<AssetCollection> fetchAssetCollectionsContainingAsset(const Asset&, AssetCollectionType) override {
    return {};
  }
  std::vector<std::shared_ptr<const AssetResource>> assetResourcesForAsset(const Asset&) override { return {}; }
  RequestID requestAVAssetForVideo(const Asset&, const VideoRequestOptions&, VideoResultHandler handler) override {
    handler(nullptr, nullptr, nullptr);
    return 0;
  }
  RequestID requestDataForAssetResource(const AssetResource&, DataReceivedHandler,
                                        DataCompletionHandler completion) override {
    completion(LibraryError{1, "the library is empty"});
    return 0;
  }
  FetchResult<Asset> fetchAssets() override { return {}; }
  FetchResult<AssetCollection> fetchAssetCollectionsWithType(AssetCollectionType) override { return {}; }
  FetchResult<Asset> fetchAssetsInAssetCollection(const AssetCollection&) override { return {}; }
};

}  // namespace corvane::photo_library
