#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/error.h"
#include "photo_library/asset.h"
#include "platform/file_system.h"

namespace corvane::photo_library {
class FolderLibrary;
}

namespace corvane::tool {

struct LibraryAsset {
  std::string identifier;
  photo_library::MediaType type;
};

// The command's own view of a photo library folder, for listing what it holds and looking at
// its assets' files. Digests of assets come from the plug-in, which opens the folder itself.
class PhotoFolder {
 public:
  static Result<PhotoFolder> open(std::shared_ptr<platform::FileSystem> fileSystem, std::string_view path);
  // The folder named with --library, else the user's pictures folder; the error says which one
  // could not be opened.
  static Result<PhotoFolder> openChosen(std::shared_ptr<platform::FileSystem> fileSystem,
                                        const std::optional<std::string>& folder);

  // The absolute path of the folder.
  std::string location() const;

  // The assets, or those of one album, in the library's order, each handed to `visit` until it
  // is false. An album that does not exist is an error.
  Result<> forEachAsset(const std::optional<std::string>& album,
                        const std::function<bool(const LibraryAsset&)>& visit) const;
  // Every album's identifier, in the library's order, until `visit` is false.
  void forEachAlbum(const std::function<bool(const std::string&)>& visit) const;

  // An asset's file, opened beneath the library's folder; an error when it names no asset.
  platform::FileResult<std::unique_ptr<platform::File>> openAsset(std::string_view identifier) const;
  platform::FileResult<platform::FileStatus> assetStatus(std::string_view identifier) const;

  // Told of every folder that listing could not read, so that an incomplete listing does not
  // pass for whole. Set before listing.
  void onListingFailure(std::function<void(std::string_view path, const platform::FileError& error)> handler);

  // Whether a file name's extension names a video.
  static bool isVideoName(std::string_view name);

 private:
  explicit PhotoFolder(std::shared_ptr<photo_library::FolderLibrary> library) : library_(std::move(library)) {}
  std::shared_ptr<photo_library::FolderLibrary> library_;
};

}  // namespace corvane::tool
