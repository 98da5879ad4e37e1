#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "photo_library/photo_library.h"

namespace corvane::testing {

// A photo library whose every answer the test scripts. Request handlers are held until the
// test runs them, as steps (each chunk, each completion) taken round robin across requests, so
// that requests in flight together interleave.
class ScriptedLibrary final : public photo_library::PhotoLibrary {
 public:
  using MediaType = photo_library::MediaType;

  struct AssetScript {
    MediaType type = MediaType::kImage;
    std::vector<std::string> albums;     // identifiers of the albums holding it, in order
    std::vector<std::string> resources;  // names of its resources, in order
  };
  struct DataScript {
    std::vector<std::string> chunks;
    std::optional<photo_library::LibraryError> error;  // completion error, after the chunks
  };

  std::map<std::string, AssetScript> assets;
  std::set<std::string> albums;
  // What a video request delivers, by asset identifier; none when missing.
  std::map<std::string, std::shared_ptr<const photo_library::AVAsset>> videos;
  // What a data request delivers, by resource name.
  std::map<std::string, DataScript> data;

  // Observations.
  std::atomic<int> videoRequests{0};
  std::vector<std::string> requestedResources;  // guarded by mutex_
  std::atomic<int> albumIdentifierReads{0};     // localIdentifier() calls on fetched albums

  // Runs every pending step, here or on one other thread; returns how many ran.
  int runPending();
  int runPendingOnAnotherThread();
  std::size_t pendingRequests() const;
  std::vector<std::string> resourcesRequested() const;

  photo_library::FetchResult<photo_library::Asset> fetchAssetsWithLocalIdentifiers(
      const std::vector<std::string>& identifiers) override;
  photo_library::FetchResult<photo_library::AssetCollection> fetchAssetCollectionsWithLocalIdentifiers(
      const std::vector<std::string>& identifiers) override;
  photo_library::FetchResult<photo_library::AssetCollection> fetchAssetCollectionsContainingAsset(
      const photo_library::Asset& asset, photo_library::AssetCollectionType type) override;
  std::vector<std::shared_ptr<const photo_library::AssetResource>> assetResourcesForAsset(
      const photo_library::Asset& asset) override;
  photo_library::RequestID requestAVAssetForVideo(const photo_library::Asset& asset,
                                                  const photo_library::VideoRequestOptions& options,
                                                  photo_library::VideoResultHandler handler) override;
  photo_library::RequestID requestDataForAssetResource(const photo_library::AssetResource& resource,
                                                       photo_library::DataReceivedHandler onData,
                                                       photo_library::DataCompletionHandler onDone) override;
  photo_library::FetchResult<photo_library::Asset> fetchAssets() override { return {}; }
  photo_library::FetchResult<photo_library::AssetCollection> fetchAssetCollectionsWithType(
      photo_library::AssetCollectionType) override {
    return {};
  }
  photo_library::FetchResult<photo_library::Asset> fetchAssetsInAssetCollection(
      const photo_library::AssetCollection&) override {
    return {};
  }

 private:
  using Steps = std::deque<std::function<void()>>;
  void queue(Steps steps);

  mutable std::mutex mutex_;
  std::vector<Steps> pending_;
};

// An AV asset that is not a URL asset.
class CompositionAsset final : public photo_library::AVAsset {};

}  // namespace corvane::testing
