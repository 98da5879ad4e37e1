#pragma once

#include <string>
#include <utility>

#include "photo_library/asset.h"

namespace corvane::photo_library {

// Library items that are nothing but their fields, for libraries that need no more.

class PlainAsset final : public Asset {
 public:
  PlainAsset(std::string identifier, MediaType type) : identifier_(std::move(identifier)), type_(type) {}
  std::string localIdentifier() const override { return identifier_; }
  MediaType mediaType() const override { return type_; }

 private:
  std::string identifier_;
  MediaType type_;
};

class PlainAlbum final : public AssetCollection {
 public:
  explicit PlainAlbum(std::string identifier) : identifier_(std::move(identifier)) {}
  std::string localIdentifier() const override { return identifier_; }

 private:
  std::string identifier_;
};

class PlainResource final : public AssetResource {
 public:
  PlainResource(std::string assetIdentifier, std::string filename)
      : assetIdentifier_(std::move(assetIdentifier)), filename_(std::move(filename)) {}
  std::string assetLocalIdentifier() const override { return assetIdentifier_; }
  std::string originalFilename() const override { return filename_; }

 private:
  std::string assetIdentifier_;
  std::string filename_;
};

}  // namespace corvane::photo_library
