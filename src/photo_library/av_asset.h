#pragma once

#include <string>
#include <utility>

namespace corvane::photo_library {

class AVURLAsset;

// A playable media item as the library hands out videos. The class test is a virtual call, so
// that it works across the plug-in library's boundary without run-time type information.
class AVAsset {
 public:
  virtual ~AVAsset() = default;
  virtual const AVURLAsset* asURLAsset() const { return nullptr; }
};

// A media item backed by a URL.
class AVURLAsset final : public AVAsset {
 public:
  explicit AVURLAsset(std::string url) : url_(std::move(url)) {}
  const std::string& URL() const { return url_; }
  const AVURLAsset* asURLAsset() const override { return this; }

 private:
  std::string url_;
};

// How a video's audio tracks are mixed; nothing of it is used here.
class AVAudioMix {
 public:
  virtual ~AVAudioMix() = default;
};

}  // namespace corvane::photo_library
