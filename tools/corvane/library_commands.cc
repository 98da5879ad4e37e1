#include "library_commands.h"

#include <unistd.h>

#include <unordered_map>

#include "exit_status.h"
#include "library_location.h"
#include "output.h"
#include "plugin_host.h"

namespace corvane::tool {
namespace {

const char* mediaTypeName(photo_library::MediaType type) {
  switch (type) {
    case photo_library::MediaType::kImage: return "image";
    case photo_library::MediaType::kVideo: return "video";
    case photo_library::MediaType::kAudio: return "audio";
    default: return "unknown";
  }
}

void addLibraryOption(CLI::App& command, LibraryOptions& options) {
  command.add_option("--library", options.library, "The photo library folder (default: your pictures folder)");
}

int listAssets(const photo_library::FetchResult<photo_library::Asset>& assets, bool json) {
  assets.enumerateObjectsUsingBlock([json](const photo_library::Asset& asset, std::int64_t, bool*) {
    const auto id = asset.localIdentifier();
    if (json) {
      printOut(jsonLine({{"asset", id}, {"mediaType", mediaTypeName(asset.mediaType())}}));
    } else {
      printOut(std::string(mediaTypeName(asset.mediaType())) + "  " + id);
    }
  });
  return kExitOk;
}

int runAssets(photo_library::FolderLibrary& library, const LibraryOptions& options) {
  if (!options.album) return listAssets(library.fetchAssets(), options.json);
  const auto album = library.fetchAssetCollectionsWithLocalIdentifiers({*options.album}).firstObject();
  if (!album) {
    printError("no album " + *options.album + " in the library");
    return kExitFailed;
  }
  return listAssets(library.fetchAssetsInAssetCollection(*album), options.json);
}

int runAlbums(photo_library::FolderLibrary& library, const LibraryOptions& options) {
  // One listing of every asset, counted by the album that holds it: linear in the tree, where
  // listing each album apart would look each one up from the root again.
  std::unordered_map<std::string, std::int64_t> counts;
  library.fetchAssets().enumerateObjectsUsingBlock([&](const photo_library::Asset& asset, std::int64_t, bool*) {
    const auto id = asset.localIdentifier();
    if (const auto slash = id.rfind('/'); slash != std::string::npos) ++counts[id.substr(0, slash)];
  });
  library.fetchAssetCollectionsWithType(photo_library::AssetCollectionType::kAlbum)
      .enumerateObjectsUsingBlock([&](const photo_library::AssetCollection& album, std::int64_t, bool*) {
        const auto id = album.localIdentifier();
        const auto found = counts.find(id);
        const std::int64_t count = found == counts.end() ? 0 : found->second;
        if (options.json) {
          printOut(jsonLine({{"album", id}, {"assets", count}}));
        } else {
          printOut(std::to_string(count) + "  " + id);
        }
      });
  return kExitOk;
}

int runInAlbum(const CommonOptions& common, std::shared_ptr<photo_library::FolderLibrary> library,
               const LibraryOptions& options) {
  LentServices services;
  services.libraryLocation = library->location();
  services.console = common.quiet ? std::shared_ptr<platform::Console>(std::make_shared<platform::SilentConsole>())
                                  : std::make_shared<platform::DescriptorConsole>(STDERR_FILENO);
  std::string error;
  const auto host = PluginHost::start(common.plugin, services, error);
  if (!host) {
    printError(error);
    return kExitFailed;
  }
  const host::Value arguments(host::ValueMap{{host::Value("assetId"), host::Value(options.asset)},
                                             {host::Value("pathId"), host::Value(options.albumId)},
                                             {host::Value("isUserAlbum"), host::Value(!options.anyAlbum)}});
  const auto reply = host->call({"getIfAssetExistInAlbum", arguments}, common.trace);
  const auto* value = std::get_if<host::Value>(&reply);
  const auto* answer = value ? value->getIf<bool>() : nullptr;
  if (answer == nullptr) {
    printError("the plug-in gave no answer to the album query");
    return kExitFailed;
  }
  printOut(*answer ? "true" : "false");
  return *answer ? kExitOk : kExitFailed;
}

}  // namespace

void addLibraryCommands(CLI::App& app, LibraryOptions& options) {
  auto* assets = app.add_subcommand("assets", "List the photo library's assets with their media types");
  addLibraryOption(*assets, options);
  assets->add_option("--album", options.album, "List only the assets of this album");
  assets->add_flag("--json", options.json, "Print one JSON object per asset");
  assets->footer("Examples:\n  corvane assets --library ~/Pictures\n  corvane assets --album Holidays --json");

  auto* albums = app.add_subcommand("albums", "List the photo library's albums with their asset counts");
  addLibraryOption(*albums, options);
  albums->add_flag("--json", options.json, "Print one JSON object per album");
  albums->footer("Examples:\n  corvane albums --library ~/Pictures");

  auto* inAlbum = app.add_subcommand("in-album", "Tell whether an asset lies in an album (exit status 0 if so, 1 if not)");
  addLibraryOption(*inAlbum, options);
  inAlbum->add_option("ASSET", options.asset, "The asset's identifier")->required();
  inAlbum->add_option("ALBUM", options.albumId, "The album's identifier")->required();
  inAlbum->add_flag("--any", options.anyAlbum, "Ask only whether the asset exists, in whatever album");
  inAlbum->footer("Examples:\n  corvane in-album Holidays/beach.png Holidays\n  corvane in-album --any welcome.png ''");
}

std::optional<int> runLibraryCommand(const CLI::App& app, const CommonOptions& common, const LibraryOptions& options) {
  const bool assets = app.got_subcommand("assets"), albums = app.got_subcommand("albums"),
             inAlbum = app.got_subcommand("in-album");
  if (!assets && !albums && !inAlbum) return std::nullopt;
  std::string error;
  auto library = openLibrary(options.library, true, error);
  if (!library) {
    printError(error);
    return kExitFailed;
  }
  if (assets) return runAssets(*library, options);
  if (albums) return runAlbums(*library, options);
  return runInAlbum(common, std::move(library), options);
}

}  // namespace corvane::tool
