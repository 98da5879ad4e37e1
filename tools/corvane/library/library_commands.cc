#include "library_commands.h"

#include <unistd.h>

#include <unordered_map>

#include "escape.h"
#include "exit_status.h"
#include "json_name.h"
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
  command.add_option("--library", options.library, "The photo library folder (default: your pictures folder)")
      ->type_name("DIR");
}

// "<field>  <name>" with the name escaped as in digest lines, or a JSON object.
bool printEntry(bool json, const std::string& nameKey, const std::string& name, const std::string& fieldKey,
                const nlohmann::ordered_json& field, const std::string& fieldText) {
  if (!json) return printOut(lineWithName(fieldText + "  ", name, {}));
  nlohmann::ordered_json object;
  putName(object, nameKey, name);
  object[fieldKey] = field;
  return printOut(jsonLine(object));
}

int listAssets(const photo_library::FetchResult<photo_library::Asset>& assets, bool json) {
  assets.enumerateObjectsUsingBlock([json](const photo_library::Asset& asset, std::int64_t, bool* stop) {
    const std::string type = mediaTypeName(asset.mediaType());
    *stop = !printEntry(json, "asset", asset.localIdentifier(), "mediaType", type, type);
  });
  return kExitOk;
}

int runAssets(photo_library::FolderLibrary& library, const LibraryOptions& options) {
  if (!options.album) return listAssets(library.fetchAssets(), options.json);
  const auto album = library.fetchAssetCollectionsWithLocalIdentifiers({*options.album}).firstObject();
  if (!album) {
    printError("no album " + quoteName(*options.album) + " in the library");
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
      .enumerateObjectsUsingBlock([&](const photo_library::AssetCollection& album, std::int64_t, bool* stop) {
        const auto id = album.localIdentifier();
        const auto found = counts.find(id);
        const std::int64_t count = found == counts.end() ? 0 : found->second;
        *stop = !printEntry(options.json, "album", id, "assets", count, std::to_string(count));
      });
  return kExitOk;
}

int runInAlbum(const CommonOptions& common, std::shared_ptr<photo_library::FolderLibrary> library,
               const LibraryOptions& options) {
  LentServices services;
  services.libraryLocation = library->location();
  services.console =
      common.verbose ? std::shared_ptr<platform::Console>(std::make_shared<platform::DescriptorConsole>(STDERR_FILENO))
                     : std::make_shared<platform::SilentConsole>();
  std::string error;
  const auto host = PluginHost::start(common.plugin, services, error);
  if (!host) {
    printError(error);
    return kExitInAlbumError;
  }
  const host::Value arguments(host::ValueMap{{host::Value("assetId"), host::Value(options.asset)},
                                             {host::Value("pathId"), host::Value(options.albumId)},
                                             {host::Value("isUserAlbum"), host::Value(!options.anyAlbum)}});
  const auto reply = host->call({"getIfAssetExistInAlbum", arguments}, common.trace);
  const auto* value = std::get_if<host::Value>(&reply);
  const auto* answer = value ? value->getIf<bool>() : nullptr;
  if (answer == nullptr) {
    printError("the plug-in gave no answer to the album query");
    return kExitInAlbumError;
  }
  printOut(*answer ? "true" : "false");
  return *answer ? kExitOk : kExitFailed;
}

}  // namespace

void addLibraryCommands(CLI::App& app, LibraryOptions& options, CommonOptions& common) {
  const std::string listStatuses =
      "  0  listed\n"
      "  1  the library or the album cannot be opened; standard output could not be written; or the\n"
      "     run could not go on (out of memory, say)\n"
      "  2  the command line is wrong";
  const std::string nameForm =
      "\nA name holding a backslash or a line break is escaped as sha256sum escapes it (\\\\, \\n), and its\n"
      "line then starts with a backslash. With --json, a name that is not UTF-8 also comes exactly, in\n"
      "base64, under the name's key followed by \"_base64\".\n";

  auto* assets = app.add_subcommand("assets", "List the photo library's assets with their media types");
  addLibraryOption(*assets, options);
  assets->add_option("--album", options.album, "List only the assets of this album")->type_name("ALBUM");
  assets->add_flag("--json", options.json, "Print one JSON object per asset: {\"asset\",\"mediaType\"}");
  addCommonOptions(*assets, common);
  assets->footer(
      helpFooter("  corvane assets --library ~/Pictures              \"<media type>  <asset>\" lines\n"
                 "  corvane assets --library ~/Pictures --album Holidays --json\n" +
                     nameForm,
                 listStatuses));

  auto* albums = app.add_subcommand("albums", "List the photo library's albums with their asset counts");
  addLibraryOption(*albums, options);
  albums->add_flag("--json", options.json, "Print one JSON object per album: {\"album\",\"assets\"}");
  addCommonOptions(*albums, common);
  albums->footer(
      helpFooter("  corvane albums --library ~/Pictures              \"<asset count>  <album>\" lines\n" + nameForm,
                 listStatuses));

  auto* inAlbum = app.add_subcommand("in-album", "Tell whether an asset lies in an album: prints true or false");
  addLibraryOption(*inAlbum, options);
  inAlbum->add_option("ASSET", options.asset, "The asset's identifier")->required()->type_name("");
  inAlbum->add_option("ALBUM", options.albumId, "The album's identifier")->required()->type_name("");
  inAlbum->add_flag("--any", options.anyAlbum, "Ask only whether the asset exists, in whatever album");
  addCommonOptions(*inAlbum, common);
  inAlbum->footer(
      helpFooter("  corvane in-album --library ~/Pictures Holidays/beach.png Holidays\n"
                 "  corvane in-album --library ~/Pictures --any welcome.png ''\n"
                 "  if corvane in-album -q Holidays/beach.png Holidays >/dev/null; then ...\n",
                 "  0  true: the asset lies in the album\n"
                 "  1  false\n"
                 "  2  no answer: the library cannot be opened, the command line is wrong, standard\n"
                 "     output could not be written, or the run could not go on (as grep)"));
}

std::optional<int> runLibraryCommand(const CLI::App& app, const CommonOptions& common, const LibraryOptions& options) {
  const bool assets = app.got_subcommand("assets"), albums = app.got_subcommand("albums"),
             inAlbum = app.got_subcommand("in-album");
  if (!assets && !albums && !inAlbum) return std::nullopt;
  std::string error;
  auto library = openLibrary(options.library, true, error);
  if (!library) {
    printError(error);
    return inAlbum ? kExitInAlbumError : kExitFailed;
  }
  // A folder the listing could not read leaves it incomplete: said, and the status shows it.
  bool incomplete = false;
  library->setBrowseFailureHandler([&incomplete](std::string_view path, const platform::FileError& error) {
    incomplete = true;
    printError(quoteName(path.empty() ? "." : path) + ": " + error.description());
  });
  if (assets) {
    const int status = runAssets(*library, options);
    return status == kExitOk && incomplete ? kExitFailed : status;
  }
  if (albums) {
    const int status = runAlbums(*library, options);
    return status == kExitOk && incomplete ? kExitFailed : status;
  }
  return runInAlbum(common, std::move(library), options);
}

}  // namespace corvane::tool
