#include "cli/error.h"

#include <cerrno>

namespace corvane::tool {

Error Error::ofFile(const platform::FileError& error, std::string attempted) {
  Kind kind = Kind::kFailed;
  if (error.reason == platform::FileError::Reason::kChanged) {
    kind = Kind::kChanged;
  } else if (error.reason == platform::FileError::Reason::kSystem && (error.code == ENOENT || error.code == ENOTDIR)) {
    kind = Kind::kMissing;
  }
  return {std::move(attempted), error.description(), kind};
}

}  // namespace corvane::tool
