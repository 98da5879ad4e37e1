#include "file_hashing/digest_text.h"

#include <string_view>

namespace corvane::file_hashing {

std::string digestText(const platform::Sha256Digest& digest) {
  constexpr std::string_view kLabel = "SHA256 digest: ";
  std::string text = digest.description();
  for (auto at = text.find(kLabel); at != std::string::npos; at = text.find(kLabel, at)) text.erase(at, kLabel.size());
  return text;
}

}  // namespace corvane::file_hashing
