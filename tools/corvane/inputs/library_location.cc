#include "inputs/library_location.h"

#include <cstdlib>
#include <sstream>

#include "text/escape.h"

namespace corvane::tool {
namespace {

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

std::string defaultPicturesFolder(platform::FileSystem& fileSystem) {
  const std::string home = environmentOr("HOME", "/");
  const std::string config = environmentOr("XDG_CONFIG_HOME", home + "/.config");
  const auto dirs = platform::readSmallFile(fileSystem, config + "/user-dirs.dirs");
  std::istringstream in(dirs ? *dirs : std::string());
  std::string line;
  while (std::getline(in, line)) {
    // The file is a shell fragment: XDG_PICTURES_DIR="$HOME/Pictures"
    constexpr std::string_view kKey = "XDG_PICTURES_DIR=";
    if (!line.starts_with(kKey)) continue;
    std::string value = line.substr(kKey.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.starts_with("$HOME")) value = home + value.substr(5);
    if (value.starts_with('/')) return value;
  }
  return home + "/Pictures";
}

Result<std::optional<std::string>> libraryLocation(platform::FileSystem& fileSystem,
                                                   const std::optional<std::string>& folder, bool required) {
  const std::string path = folder ? *folder : defaultPicturesFolder(fileSystem);
  const auto opened = fileSystem.openDirectory(nullptr, path, platform::Resolve::kFollow);
  if (opened) return std::optional(path);
  if (folder || required) return failure(Error::ofFile(opened.error(), "cannot open the library " + quoteName(path)));
  return std::optional<std::string>();
}

}  // namespace corvane::tool
