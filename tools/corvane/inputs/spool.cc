#include "inputs/spool.h"

#include <cstdlib>

namespace corvane::tool {

Result<Spool> Spool::from(platform::FileSystem& fileSystem, platform::Stream& stream) {
  const auto place = spoolPlace();
  auto copy = fileSystem.spool(stream, place);
  if (!copy && copy.error().path == place.folder) {
    // Not the stream's fault, nor a missing file: the folder it was to be kept in.
    return failure(Error{"cannot keep the stream in " + place.folder + " ($TMPDIR)", copy.error().description()});
  }
  if (!copy) return failure(Error::ofFile(copy.error()));
  return Spool(std::move(*copy));
}

platform::SpoolPlace spoolPlace() {
  platform::SpoolPlace place;
  if (const char* folder = std::getenv("TMPDIR"); folder != nullptr && *folder != '\0') place.folder = folder;
  return place;
}

}  // namespace corvane::tool
