#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/file_system.h"

namespace corvane::photo_library {

// A playable media item as the library hands out videos; which kind it is, a cast tells.
class AVAsset {
 public:
  virtual ~AVAsset() = default;
};

// A media item backed by a URL.
class AVURLAsset final : public AVAsset {
 public:
  explicit AVURLAsset(std::string url, std::shared_ptr<const platform::File> file = nullptr)
      : url_(std::move(url)), file_(std::move(file)) {}
  const std::string& URL() const { return url_; }
  // The file behind the URL as the library opened it, when the library hands it over, so that
  // nobody has to look it up by name again; none when the URL is all there is.
  const std::shared_ptr<const platform::File>& openedFile() const { return file_; }

 private:
  std::string url_;
  std::shared_ptr<const platform::File> file_;
};

// How a video's audio tracks are mixed; nothing of it is used here.
class AVAudioMix {
 public:
  virtual ~AVAudioMix() = default;
};

}  // namespace corvane::photo_library
