#include "shell/corvane_plugin.h"

namespace corvane::shell {
namespace {

// The argument as a map with text keys, or none when it is no such map as a whole.
const host::ValueMap* textKeyedMap(const host::Value& arguments) {
  const auto* map = arguments.getIf<host::ValueMap>();
  if (map == nullptr) return nullptr;
  for (const auto& [key, value] : *map) {
    if (key.getIf<std::string>() == nullptr) return nullptr;
  }
  return map;
}

template <typename T>
const T* entry(const host::ValueMap& map, std::string_view key) {
  const auto* value = host::findTextKey(map, key);
  return value ? value->getIf<T>() : nullptr;
}

}  // namespace

void CorvanePlugin::getIfAssetExistInAlbum(const host::Value& arguments, host::FlutterResult result) {
  using photo_library::AssetCollection;
  const auto answer = [&result](bool value) { result(host::Value(value)); };
  const auto* map = textKeyedMap(arguments);
  if (map == nullptr || map->empty()) return answer(false);
  const auto* assetId = entry<std::string>(*map, "assetId");
  if (assetId == nullptr) return answer(false);
  const auto* pathId = entry<std::string>(*map, "pathId");
  if (pathId == nullptr) return answer(false);
  const auto* isUserAlbum = entry<bool>(*map, "isUserAlbum");
  if (isUserAlbum == nullptr) return answer(false);

  auto& library = *environment_.photoLibrary;
  const auto assets = library.fetchAssetsWithLocalIdentifiers({*assetId});
  if (assets.count() == 0) return answer(false);
  if (!*isUserAlbum) return answer(true);
  const auto asset = assets.firstObject();
  if (!asset) return answer(false);
  if (library.fetchAssetCollectionsWithLocalIdentifiers({*pathId}).count() == 0) return answer(false);
  const auto albums = library.fetchAssetCollectionsContainingAsset(*asset, photo_library::AssetCollectionType::kAlbum);
  const std::int64_t count = albums.count();
  if (count == 0) return answer(false);
  albums.enumerateObjectsUsingBlock([&](const AssetCollection& album, std::int64_t index, bool* stop) {
    if (album.localIdentifier() == *pathId) {
      answer(true);
      *stop = true;
    } else if (index == count - 1) {
      answer(false);
    }
  });
}

}  // namespace corvane::shell
