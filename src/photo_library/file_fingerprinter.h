#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::photo_library {

// What computes a file's fingerprint: the plug-in object, which the video fingerprint holds
// only weakly.
class FileFingerprinter {
 public:
  virtual std::optional<std::string> fingerprintOfFile(std::string_view filePath) const = 0;

 protected:
  ~FileFingerprinter() = default;
};

}  // namespace corvane::photo_library
