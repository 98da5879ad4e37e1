#include "plugin/plugin_library.h"

#include <cstdlib>

namespace corvane::tool {
namespace {

constexpr const char* kEnvironmentVariable = "CORVANE_PLUGIN";

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string joined(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

}  // namespace

PluginSearch findPluginLibrary(platform::FileSystem& fileSystem, const std::optional<std::string>& given) {
  PluginSearch search;
  if (given) {
    search.how = "given with --plugin";
    search.tried.push_back(*given);
  } else if (const char* named = std::getenv(kEnvironmentVariable); named != nullptr && *named != '\0') {
    search.how = std::string("named by ") + kEnvironmentVariable;
    search.tried.emplace_back(named);
  } else {
    search.how = "beside the command, then in its installed tree";
    const auto self = fileSystem.canonicalPath("/proc/self/exe");
    const std::string folder = self ? folderOf(*self) : ".";
    search.tried.push_back(joined(folder, CORVANE_PLUGIN_FILE));
    search.tried.push_back(joined(joined(folder, CORVANE_LIBRARY_FROM_COMMAND), CORVANE_PLUGIN_FILE));
  }
  for (const auto& candidate : search.tried) {
    const auto status = fileSystem.statusOf(nullptr, candidate, platform::Resolve::kFollow);
    if (status && status->type == platform::FileType::kRegular) {
      search.found = candidate;
      break;
    }
  }
  return search;
}

std::string notFoundMessage(const PluginSearch& search) {
  std::string places;
  for (const auto& place : search.tried) places += (places.empty() ? "" : ", ") + place;
  return "cannot find the plug-in library (" + search.how + "); looked for " + places +
         ". Name the library with --plugin PATH or in the environment variable " + kEnvironmentVariable + ".";
}

}  // namespace corvane::tool
