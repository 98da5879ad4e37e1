#pragma once

#include <string>

namespace corvane::photo_library {

enum class MediaType : int { kUnknown = 0, kImage = 1, kVideo = 2, kAudio = 3 };

// An item of the photo library.
class Asset {
 public:
  virtual ~Asset() = default;
  virtual std::string localIdentifier() const = 0;
  virtual MediaType mediaType() const = 0;
};

// An album or other collection of assets.
class AssetCollection {
 public:
  virtual ~AssetCollection() = default;
  virtual std::string localIdentifier() const = 0;
};

enum class AssetCollectionType : int { kAlbum = 1, kSmartAlbum = 2, kMoment = 3 };

// One stored piece of an asset's data (its original file, say).
class AssetResource {
 public:
  virtual ~AssetResource() = default;
  virtual std::string assetLocalIdentifier() const = 0;
  virtual std::string originalFilename() const = 0;
};

}  // namespace corvane::photo_library
