#include "inputs/photo_folder.h"

#include "inputs/library_location.h"
#include "photo_library/folder_library.h"
#include "text/escape.h"

namespace corvane::tool {

using photo_library::Asset;
using photo_library::AssetCollection;
using photo_library::FolderLibrary;

Result<PhotoFolder> PhotoFolder::open(std::shared_ptr<platform::FileSystem> fileSystem, std::string_view path) {
  auto library = FolderLibrary::open(path, std::move(fileSystem));
  if (!library) return failure(Error::ofFile(library.error()));
  return PhotoFolder(std::move(*library));
}

Result<PhotoFolder> PhotoFolder::openChosen(std::shared_ptr<platform::FileSystem> fileSystem,
                                            const std::optional<std::string>& folder) {
  const std::string path = folder ? *folder : defaultPicturesFolder(*fileSystem);
  auto library = open(std::move(fileSystem), path);
  if (!library) return failure(library.error().within("cannot open the library " + quoteName(path)));
  return library;
}

std::string PhotoFolder::location() const { return library_->location(); }

Result<> PhotoFolder::forEachAsset(const std::optional<std::string>& album,
                                   const std::function<bool(const LibraryAsset&)>& visit) const {
  photo_library::FetchResult<Asset> assets;
  if (album) {
    const auto collection = library_->fetchAssetCollectionsWithLocalIdentifiers({*album}).firstObject();
    if (!collection) return failure(Error{*album, "no such album in the library", Error::Kind::kMissing});
    assets = library_->fetchAssetsInAssetCollection(*collection);
  } else {
    assets = library_->fetchAssets();
  }
  assets.enumerateObjectsUsingBlock([&](const Asset& asset, std::int64_t, bool* stop) {
    *stop = !visit({asset.localIdentifier(), asset.mediaType()});
  });
  return {};
}

void PhotoFolder::forEachAlbum(const std::function<bool(const std::string&)>& visit) const {
  library_->fetchAssetCollectionsWithType(photo_library::AssetCollectionType::kAlbum)
      .enumerateObjectsUsingBlock(
          [&](const AssetCollection& album, std::int64_t, bool* stop) { *stop = !visit(album.localIdentifier()); });
}

platform::FileResult<std::unique_ptr<platform::File>> PhotoFolder::openAsset(std::string_view identifier) const {
  return library_->openAsset(identifier);
}

platform::FileResult<platform::FileStatus> PhotoFolder::assetStatus(std::string_view identifier) const {
  auto file = library_->openAsset(identifier);
  if (!file) return platform::Unexpected(file.error());
  return (*file)->status();
}

void PhotoFolder::onListingFailure(std::function<void(std::string_view, const platform::FileError&)> handler) {
  library_->setBrowseFailureHandler(std::move(handler));
}

bool PhotoFolder::isVideoName(std::string_view name) {
  return FolderLibrary::mediaTypeOfName(name) == photo_library::MediaType::kVideo;
}

}  // namespace corvane::tool
