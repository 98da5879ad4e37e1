#include "support/scripted_library.h"

#include "photo_library/plain_items.h"

namespace corvane::testing {
namespace {

using namespace photo_library;

// An album that counts how often its identifier is read.
class ScriptedAlbum final : public AssetCollection {
 public:
  ScriptedAlbum(std::string id, std::atomic<int>& reads) : id_(std::move(id)), reads_(reads) {}
  std::string localIdentifier() const override {
    ++reads_;
    return id_;
  }

 private:
  std::string id_;
  std::atomic<int>& reads_;
};

}  // namespace

FetchResult<Asset> ScriptedLibrary::fetchAssetsWithLocalIdentifiers(const std::vector<std::string>& identifiers) {
  std::vector<std::shared_ptr<const Asset>> found;
  for (const auto& id : identifiers) {
    if (const auto it = assets.find(id); it != assets.end())
      found.push_back(std::make_shared<PlainAsset>(id, it->second.type));
  }
  return FetchResult<Asset>(std::move(found));
}

FetchResult<AssetCollection> ScriptedLibrary::fetchAssetCollectionsWithLocalIdentifiers(
    const std::vector<std::string>& identifiers) {
  std::vector<std::shared_ptr<const AssetCollection>> found;
  for (const auto& id : identifiers) {
    if (albums.contains(id)) found.push_back(std::make_shared<ScriptedAlbum>(id, albumIdentifierReads));
  }
  return FetchResult<AssetCollection>(std::move(found));
}

FetchResult<AssetCollection> ScriptedLibrary::fetchAssetCollectionsContainingAsset(const Asset& asset,
                                                                                   AssetCollectionType type) {
  std::vector<std::shared_ptr<const AssetCollection>> found;
  const auto it = assets.find(asset.localIdentifier());
  if (type == AssetCollectionType::kAlbum && it != assets.end()) {
    for (const auto& album : it->second.albums)
      found.push_back(std::make_shared<ScriptedAlbum>(album, albumIdentifierReads));
  }
  return FetchResult<AssetCollection>(std::move(found));
}

std::vector<std::shared_ptr<const AssetResource>> ScriptedLibrary::assetResourcesForAsset(const Asset& asset) {
  std::vector<std::shared_ptr<const AssetResource>> found;
  const auto id = asset.localIdentifier();
  if (const auto it = assets.find(id); it != assets.end()) {
    for (const auto& name : it->second.resources) found.push_back(std::make_shared<PlainResource>(id, name));
  }
  return found;
}

RequestID ScriptedLibrary::requestAVAssetForVideo(const Asset& asset, const VideoRequestOptions&,
                                                  VideoResultHandler handler) {
  ++videoRequests;
  const auto it = videos.find(asset.localIdentifier());
  std::shared_ptr<const AVAsset> video = it == videos.end() ? nullptr : it->second;
  queue({[handler = std::move(handler), video] {
    handler(video, std::make_shared<AVAudioMix>(), std::make_shared<const InfoDictionary>(InfoDictionary{{"k", "v"}}));
  }});
  return videoRequests;
}

RequestID ScriptedLibrary::requestDataForAssetResource(const AssetResource& resource, DataReceivedHandler onData,
                                                       DataCompletionHandler onDone) {
  const auto name = resource.originalFilename();
  {
    std::lock_guard lock(mutex_);
    requestedResources.push_back(name);
  }
  const DataScript script = data.count(name) ? data.at(name) : DataScript{};
  // The handlers are shared by the steps and let go of once the last step has run.
  auto handlers =
      std::make_shared<std::pair<DataReceivedHandler, DataCompletionHandler>>(std::move(onData), std::move(onDone));
  Steps steps;
  for (const auto& chunk : script.chunks) {
    steps.push_back([handlers, chunk] {
      handlers->first({reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size()});
    });
  }
  steps.push_back([handlers, error = script.error] { handlers->second(error); });
  queue(std::move(steps));
  return 1;
}

void ScriptedLibrary::queue(Steps steps) {
  std::lock_guard lock(mutex_);
  pending_.push_back(std::move(steps));
}

int ScriptedLibrary::runPending() {
  int ran = 0;
  for (;;) {
    std::vector<std::function<void()>> round;
    {
      std::lock_guard lock(mutex_);
      for (auto& steps : pending_) {
        if (!steps.empty()) {
          round.push_back(std::move(steps.front()));
          steps.pop_front();
        }
      }
      std::erase_if(pending_, [](const Steps& steps) { return steps.empty(); });
    }
    if (round.empty()) return ran;
    for (auto& step : round) {
      step();
      step = nullptr;  // let go of the handlers as the library would
      ++ran;
    }
  }
}

int ScriptedLibrary::runPendingOnAnotherThread() {
  int ran = 0;
  std::thread([&] { ran = runPending(); }).join();
  return ran;
}

std::size_t ScriptedLibrary::pendingRequests() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

std::vector<std::string> ScriptedLibrary::resourcesRequested() const {
  std::lock_guard lock(mutex_);
  return requestedResources;
}

}  // namespace corvane::testing
